#pragma once
// RobotIo: the safety inputs and digital I/O of one basic sample, with its
// time stamp, taken whole from that one sample: shown or recorded together,
// they never mix two samples.
#include <array>
#include <cstdint>
#include <utility>

#include "records/record_field_list.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::qrk_impl {

struct RobotIo {
  std::pair<std::int32_t, std::int32_t> timestamp{0, 0};
  bool estop_released = false;
  bool enabling_device_on = false;
  std::array<bool, 20> digital_inputs{};
  std::array<bool, 20> digital_outputs{};
};

inline RobotIo IoOf(const BasicStreamData& sample) {
  const auto status = zenoh_msgs::Status(sample);
  return {StampOf(sample), status.estop_released, status.enabling_device_on, status.digital_inputs,
          status.digital_outputs};
}

}  // namespace velmor::qrk_impl

namespace velmor::qrk {

// RobotIo's fields in the records' one list: its Foxglove channel derives
// from it as the records' channels do.
template <>
struct FieldList<qrk_impl::RobotIo> {
  using R = qrk_impl::RobotIo;
  static constexpr auto kFields =
      std::make_tuple(Field("timestamp", &R::timestamp), Field("estop_released", &R::estop_released),
                      Field("enabling_device_on", &R::enabling_device_on), Field("digital_inputs", &R::digital_inputs),
                      Field("digital_outputs", &R::digital_outputs));
};

static_assert(detail::kListsEveryField<qrk_impl::RobotIo>);

}  // namespace velmor::qrk
