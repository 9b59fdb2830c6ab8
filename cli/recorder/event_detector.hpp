#pragma once
// EventDetector: the safety and input edges a snapshot is taken on, read from
// successive basic samples' I/O. It keeps the previous sample's state only,
// so it runs on the basic stream's writer thread beside the sinks, one call
// per sample, and needs no lock.
//
// An edge is a change between two samples of one robot run. The first
// sample only sets the baseline, and so does the first after a break: a
// robot time stamp that does not move forward (the robot restarted and
// counts afresh) or a silence longer than kBreakSeconds. Across a break the
// states before and after need not belong to one run, and a robot that
// boots with its E-stop pressed has not had it pressed by anyone. Samples
// the recorder's own queue dropped (its numbers skip) are no break: the
// robot ran on, so a change across them did happen, and is reported at the
// first sample that shows it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/recorder/sample_sink.hpp"
#include "services/robot_io.hpp"

namespace velmor::cli {

/// What an event is an edge of.
enum class EventKind {
  kEstopPressed,      // estop: released -> pressed
  kEnablingReleased,  // enabling: the enabling device let go (on -> off)
  kInputRising,       // di:N:rising
  kInputFalling,      // di:N:falling
};

struct EventTrigger {
  EventKind kind = EventKind::kEstopPressed;
  /// The digital input, for kInputRising and kInputFalling.
  unsigned input = 0;

  /// How a file names the event: "estop", "enabling", "di3-rising", ...:
  /// letters, digits and '-' only.
  std::string Label() const;
  friend bool operator==(const EventTrigger& a, const EventTrigger& b) {
    return a.kind == b.kind && a.input == b.input;
  }
};

/// What a file names an operator's mark (SIGUSR1) by, beside the edges' labels.
inline constexpr const char* kOperatorMarkLabel = "mark";

/// Parses --on texts: "estop", "enabling", "di:N:rising", "di:N:falling" with
/// N from 0 to 19. A trigger given twice counts once. Throws
/// std::invalid_argument "unknown event 'TEXT' (...)" for anything else.
std::vector<EventTrigger> ParseEventTriggers(const std::vector<std::string>& texts);

struct DetectedEvent {
  EventTrigger trigger;
  /// The sample that first shows the new state.
  std::uint64_t sample = 0;
  double receive_time = 0.0;
};

class EventDetector {
 public:
  /// Longer without a basic sample than this, and the robot may have
  /// restarted in between without its time stamp showing it.
  static constexpr double kBreakSeconds = 1.0;

  explicit EventDetector(std::vector<EventTrigger> triggers);

  /// The edges between the previous sample and this one, in the order the
  /// triggers were given; none for a baseline sample.
  std::vector<DetectedEvent> Observe(const SampleStamp& stamp, const qrk_impl::RobotIo& io);

 private:
  bool Breaks(const SampleStamp& stamp, const qrk_impl::RobotIo& io) const;
  bool Fired(const EventTrigger& trigger, const qrk_impl::RobotIo& io) const;

  struct Previous {
    qrk_impl::RobotIo io;
    double receive_time = 0.0;
  };

  std::vector<EventTrigger> triggers_;
  std::optional<Previous> previous_;
};

}  // namespace velmor::cli
