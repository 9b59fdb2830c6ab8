#include "sim/options.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace velmor::sim {
namespace {

using Args = std::vector<std::string>;

TEST(SimOptions, DefaultsDescribeAHealthyServer) {
  const SimOptions options = ParseOptions({"--serial", "AB-12-345"});
  EXPECT_EQ(options.serials, Args{"AB-12-345"});
  EXPECT_EQ(options.rate, 1000.0);
  EXPECT_EQ(options.groups, (std::vector<std::uint16_t>{0, 2, 3, 4, 5}));
  EXPECT_EQ(options.version, "v2.1");
  EXPECT_EQ(options.duration, 0.0);
  EXPECT_EQ(options.mode, "peer");
  EXPECT_TRUE(options.connect.empty());
  EXPECT_FALSE(options.faults.silent || options.faults.malformed || options.faults.pause_streams ||
               options.faults.start_paused || options.faults.reachability_success);
  EXPECT_EQ(options.faults.corrupt_primitives, 0);
  EXPECT_EQ(options.faults.garbage_rate, 0.0);
  EXPECT_TRUE(options.events.empty());
}

TEST(SimOptions, ReadsEveryOptionInBothSpellings) {
  const SimOptions options =
      ParseOptions({"--serial", "AB-12-345", "--serial=CD-34-567", "--rate", "250.5", "--groups=5,3", "--version",
                    "v3.0", "--duration", "2.5", "--silent", "--malformed", "--corrupt-primitives", "3",
                    "--pause-streams", "--start-paused", "--garbage-rate=20", "--reachability-success", "--verbose"});
  EXPECT_EQ(options.serials, (Args{"AB-12-345", "CD-34-567"}));
  EXPECT_EQ(options.rate, 250.5);
  EXPECT_EQ(options.groups, (std::vector<std::uint16_t>{5, 3}));
  EXPECT_EQ(options.version, "v3.0");
  EXPECT_EQ(options.duration, 2.5);
  EXPECT_TRUE(options.faults.silent && options.faults.malformed && options.faults.pause_streams &&
              options.faults.start_paused && options.faults.reachability_success && options.verbose);
  EXPECT_EQ(options.faults.corrupt_primitives, 3);
  EXPECT_EQ(options.faults.garbage_rate, 20.0);

  const SimOptions scripted = ParseOptions({"--serial", "A", "--event", "estop:press@2.5", "--event=estop:release@4",
                                            "--event", "enabling:off@3", "--event", "enabling:on@0", "--event",
                                            "di:19:on@1.5", "--event", "di:0:off@1e1"});
  ASSERT_EQ(scripted.events.size(), 6u);
  const auto is = [](const SafetyEvent& e, SafetyInput input, unsigned index, bool engaged, double at) {
    return e.input == input && e.index == index && e.engaged == engaged && e.at == at;
  };
  EXPECT_TRUE(is(scripted.events[0], SafetyInput::kEstop, 0, true, 2.5));
  EXPECT_TRUE(is(scripted.events[1], SafetyInput::kEstop, 0, false, 4.0));
  EXPECT_TRUE(is(scripted.events[2], SafetyInput::kEnablingDevice, 0, false, 3.0));
  EXPECT_TRUE(is(scripted.events[3], SafetyInput::kEnablingDevice, 0, true, 0.0));
  EXPECT_TRUE(is(scripted.events[4], SafetyInput::kDigitalInput, 19, true, 1.5));
  EXPECT_TRUE(is(scripted.events[5], SafetyInput::kDigitalInput, 0, false, 10.0));

  const SimOptions routed =
      ParseOptions({"--serial", "A", "--mode=client", "--connect", "tcp/10.78.0.1:7447", "--connect=udp/[::1]:7447"});
  EXPECT_EQ(routed.mode, "client");
  EXPECT_EQ(routed.connect, (Args{"tcp/10.78.0.1:7447", "udp/[::1]:7447"}));
}

TEST(SimOptions, HelpNeedsNoSerial) {
  EXPECT_TRUE(ParseOptions({"--help"}).help);
  EXPECT_TRUE(ParseOptions({"-h"}).help);
}

TEST(SimOptions, RejectsWhatWouldMisconfigureTheServer) {
  const std::vector<Args> bad{
      {},
      {"--serial"},
      {"--serial", ""},
      {"--serial", "A", "--serial", "A"},
      {"--serial", "A", "--rate", "0"},
      {"--serial", "A", "--rate", "fast"},
      {"--serial", "A", "--rate", "1000x"},
      {"--serial", "A", "--rate", "20000"},
      {"--serial", "A", "--groups", "1"},
      {"--serial", "A", "--groups", "3,3"},
      {"--serial", "A", "--groups", ""},
      {"--serial", "A", "--groups", "3", "--groups", "4"},
      {"--serial", "A", "--corrupt-primitives", "1.5"},
      {"--serial", "A", "--duration", "-1"},
      {"--serial", "A", "--silent=yes"},
      {"--serial", "A", "--bogus"},
      {"--serial", "A", "--mode", "router"},
      {"--serial", "A", "--connect", ""},
      {"--serial", "A", "--event", "estop:press"},
      {"--serial", "A", "--event", "estop:push@1"},
      {"--serial", "A", "--event", "estop@1"},
      {"--serial", "A", "--event", "enabling:press@1"},
      {"--serial", "A", "--event", "di:20:on@1"},
      {"--serial", "A", "--event", "di:3@1"},
      {"--serial", "A", "--event", "di:x:on@1"},
      {"--serial", "A", "--event", "di:3:on@-1"},
      {"--serial", "A", "--event", "di:3:on@soon"},
      {"--serial", "A", "--event", "di:3:on@nan"},
      {"--serial", "A", "--event", "di:3:on@1s"},
  };
  for (const Args& args : bad) {
    std::string joined;
    for (const auto& arg : args) joined += arg + " ";
    EXPECT_THROW(ParseOptions(args), std::invalid_argument) << joined;
  }
}

}  // namespace
}  // namespace velmor::sim
