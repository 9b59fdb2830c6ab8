#include "records/state_code.hpp"

namespace velmor::qrk {

VmrStateCategory::~VmrStateCategory() = default;

namespace {

class VmrGeneralStateCategoryImpl final : public VmrStateCategory {
 public:
  constexpr VmrGeneralStateCategoryImpl() noexcept = default;

  const char* name() const noexcept override { return "General"; }

  const char* message(int value) const noexcept override {
    switch (static_cast<GeneralState>(value)) {
      case GeneralState::OK:
        return "OK";
      case GeneralState::WARNING:
        return "Warning";
      case GeneralState::FAULT:
        return "Fault";
      case GeneralState::CRITICAL_FAULT:
        return "Critical fault";
    }
    return "(unrecognized)";
  }
};

const VmrStateCategory& GeneralCategory() noexcept {
  // The constexpr constructor makes this constant-initialised: it is usable
  // before any dynamic initialisation, and the first call only registers the
  // destructor (thread-safely), so state codes can be made from anywhere.
  static const VmrGeneralStateCategoryImpl instance;
  return instance;
}

}  // namespace

StateCode MakeStateCode(int value) noexcept { return StateCode{value, &GeneralCategory()}; }

}  // namespace velmor::qrk
