// Replacement global operator new/delete for the fuzz binaries (on top of
// malloc/free, which ASan still checks), and the per-thread budget they enforce.
#include "fuzz/allocation_budget.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace velmor::fuzz {
namespace {

struct BudgetState {
  bool armed = false;
  const char* label = "";
  std::size_t payload_size = 0;
  std::size_t block_limit = 0;
  std::size_t total_limit = 0;
  std::size_t total = 0;
};

// Constant-initialised, so touching it never allocates.
thread_local BudgetState budget;

void Charge(std::size_t size) noexcept {
  if (!budget.armed) return;
  budget.total += size;
  if (size <= budget.block_limit && budget.total <= budget.total_limit) return;
  budget.armed = false;
  std::fprintf(stderr,
               "==allocation budget exceeded== %s of a %zu-byte payload: block of %zu bytes (limit %zu), "
               "%zu bytes in total (limit %zu)\n",
               budget.label, budget.payload_size, size, budget.block_limit, budget.total, budget.total_limit);
  std::abort();
}

void* Allocate(std::size_t size) {
  Charge(size);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  Charge(size);
  void* p = nullptr;
  const std::size_t align =
      static_cast<std::size_t>(alignment) < sizeof(void*) ? sizeof(void*) : static_cast<std::size_t>(alignment);
  if (posix_memalign(&p, align, size == 0 ? 1 : size) == 0) return p;
  throw std::bad_alloc();
}

}  // namespace

AllocationBudget::AllocationBudget(const char* label, std::size_t payload_size) noexcept {
  budget.label = label;
  budget.payload_size = payload_size;
  budget.block_limit = payload_size * kBytesPerPayloadByte + kFixedBlockAllowance;
  budget.total_limit = payload_size * kTotalBytesPerPayloadByte + kFixedTotalAllowance;
  budget.total = 0;
  budget.armed = true;
}

AllocationBudget::~AllocationBudget() { budget.armed = false; }

}  // namespace velmor::fuzz

using velmor::fuzz::Allocate;
using velmor::fuzz::AllocateAligned;

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return AllocateAligned(size, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t& tag) noexcept {
  return operator new(size, alignment, tag);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
