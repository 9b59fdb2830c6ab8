#pragma once
// Outcome of an internal operation that may fail in ordinary use (starting a
// subscriber, creating the RPC client, one remote query). Success is 100000,
// not zero, and values grow by 100000 per step of severity. The operations
// produce only OK and FAULT; a failed one logs its own reason, the code carries
// no text. Everything here is immutable and usable from any thread.
#include <cstdint>

namespace velmor::qrk {

/// Gives state code values their names, like std::error_category does for
/// error codes. Implementations are immutable singletons.
class VmrStateCategory {
 public:
  constexpr VmrStateCategory() noexcept = default;
  VmrStateCategory(const VmrStateCategory&) = delete;
  VmrStateCategory& operator=(const VmrStateCategory&) = delete;
  virtual ~VmrStateCategory();

  /// The category's name; static storage.
  virtual const char* name() const noexcept = 0;
  /// The name of `value`; static storage.
  virtual const char* message(int value) const noexcept = 0;
};

/// The values of the general category, the only category in use.
enum class GeneralState : int32_t {
  OK = 100000,
  WARNING = 200000,
  FAULT = 300000,
  CRITICAL_FAULT = 400000,
};

struct StateCode {
  int32_t value;
  /// Never null for a code from MakeStateCode; callers compare only `value`.
  const VmrStateCategory* category;
};

/// A code holding `value` in the general category. Thread-safe.
StateCode MakeStateCode(int value) noexcept;

inline StateCode MakeStateCode(GeneralState state) noexcept { return MakeStateCode(static_cast<int>(state)); }

/// The success test every single step uses: anything but OK, a warning
/// included, counts as failed.
constexpr bool IsOk(const StateCode& code) noexcept { return code.value == static_cast<int32_t>(GeneralState::OK); }

/// The looser test for a sequence of start-up steps: only FAULT and worse stop
/// it, a warning lets it go on.
constexpr bool IsFault(const StateCode& code) noexcept {
  return code.value >= static_cast<int32_t>(GeneralState::FAULT);
}

}  // namespace velmor::qrk
