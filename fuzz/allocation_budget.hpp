#pragma once
// Bounds what the codec may allocate for one payload. The fuzz binaries
// replace the global operator new (allocation_budget.cpp); while an
// AllocationBudget is alive on the calling thread, every allocation is checked
// against it and the process aborts (a libFuzzer crash) as soon as a single
// block or the running total exceeds the limit derived from the payload size.
//
// The limits: a decoded element can be much larger in memory than on the wire
// (a one-byte empty string becomes a 32-byte std::string, a one-byte empty
// vector a 24-byte one), so the factor is the size of the largest such element.
// The fixed allowance covers the texts of a thrown ZException.
#include <cstddef>

namespace velmor::fuzz {

inline constexpr std::size_t kBytesPerPayloadByte = 32;
inline constexpr std::size_t kTotalBytesPerPayloadByte = 40;
inline constexpr std::size_t kFixedBlockAllowance = 256;
inline constexpr std::size_t kFixedTotalAllowance = 2048;

/// Arms the check for the current thread until destroyed. Not nestable.
class AllocationBudget {
 public:
  /// `label` names the checked operation in the abort message.
  AllocationBudget(const char* label, std::size_t payload_size) noexcept;
  ~AllocationBudget();
  AllocationBudget(const AllocationBudget&) = delete;
  AllocationBudget& operator=(const AllocationBudget&) = delete;
};

}  // namespace velmor::fuzz
