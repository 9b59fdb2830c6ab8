// The edges a snapshot is taken on: each chosen one fires once, at the sample
// that first shows it, and never on a baseline: the first sample, or the
// first after the robot restarted or fell silent.
#include "cli/recorder/event_detector.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmor::cli {
namespace {

using Texts = std::vector<std::string>;

TEST(EventTriggers, ParsesEveryKindAndRefusesTheRestByName) {
  const auto triggers = ParseEventTriggers({"estop", "enabling", "di:0:rising", "di:19:falling", "estop"});
  ASSERT_EQ(triggers.size(), 4u);  // the repeated estop counts once
  std::vector<std::string> labels;
  for (const auto& trigger : triggers) labels.push_back(trigger.Label());
  EXPECT_EQ(labels, (Texts{"estop", "enabling", "di0-rising", "di19-falling"}));

  for (const std::string bad : {"", "Estop", "di:20:rising", "di:-1:rising", "di:3", "di:3:up", "di::rising",
                                "di:3x:rising", "di:3:rising:x", "mark"}) {
    try {
      ParseEventTriggers({"estop", bad});
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const std::invalid_argument& error) {
      EXPECT_EQ(std::string(error.what()).rfind("unknown event '" + bad + "'", 0), 0u) << error.what();
    }
  }
}

// A robot whose time stamp is (seconds, sample count) since it started,
// received a millisecond apart.
struct Robot {
  std::uint64_t sample = 0;
  double time = 1000.0;
  std::int32_t sequence = 5000;
  qrk_impl::RobotIo io{{0, 0}, true, true, {}, {}};

  std::vector<std::string> Step(EventDetector& detector, double seconds = 0.001) {
    time += seconds;
    io.timestamp = {sequence / 1000, sequence};
    ++sequence;
    std::vector<std::string> labels;
    for (const DetectedEvent& event : detector.Observe({sample++, time, io.timestamp}, io)) {
      EXPECT_EQ(event.sample, sample - 1);
      EXPECT_EQ(event.receive_time, time);
      labels.push_back(event.trigger.Label());
    }
    return labels;
  }
};

TEST(EventDetector, ReportsEachChosenEdgeOnceInTheOrderChosen) {
  EventDetector detector(ParseEventTriggers({"di:3:falling", "estop", "enabling", "di:3:rising"}));
  Robot robot;
  robot.io.digital_inputs[3] = true;
  EXPECT_TRUE(robot.Step(detector).empty());  // baseline

  robot.io.estop_released = false;
  robot.io.digital_inputs[3] = false;
  EXPECT_EQ(robot.Step(detector), (Texts{"di3-falling", "estop"}));
  EXPECT_TRUE(robot.Step(detector).empty());  // held, not a new edge

  robot.io.estop_released = true;  // released again: not an event
  robot.io.enabling_device_on = false;
  EXPECT_EQ(robot.Step(detector), Texts{"enabling"});
  robot.io.enabling_device_on = true;  // taken up again: not an event
  robot.io.digital_inputs[3] = true;
  robot.io.digital_inputs[4] = true;  // not chosen
  EXPECT_EQ(robot.Step(detector), Texts{"di3-rising"});
  robot.io.digital_outputs[3] = true;  // an output, not an input
  EXPECT_TRUE(robot.Step(detector).empty());
}

TEST(EventDetector, FirstSampleRestartAndSilenceOnlySetTheBaseline) {
  EventDetector detector(ParseEventTriggers({"estop"}));
  Robot robot;
  robot.io.estop_released = false;
  EXPECT_TRUE(robot.Step(detector).empty());  // pressed from the start: nobody pressed it here
  robot.io.estop_released = true;
  EXPECT_TRUE(robot.Step(detector).empty());

  // The robot restarts and counts afresh, booting with its E-stop pressed.
  robot.sequence = 1;
  robot.io.estop_released = false;
  EXPECT_TRUE(robot.Step(detector).empty());
  robot.io.estop_released = true;
  EXPECT_TRUE(robot.Step(detector).empty());

  // Silent for longer than a restart takes, then pressed.
  robot.io.estop_released = false;
  EXPECT_TRUE(robot.Step(detector, EventDetector::kBreakSeconds + 0.5).empty());
  robot.io.estop_released = true;
  EXPECT_TRUE(robot.Step(detector).empty());

  // Samples the recorder's queue dropped are no break: the press happened.
  robot.sample += 40;
  robot.sequence += 40;
  robot.io.estop_released = false;
  EXPECT_EQ(robot.Step(detector, 0.041), Texts{"estop"});
}

}  // namespace
}  // namespace velmor::cli
