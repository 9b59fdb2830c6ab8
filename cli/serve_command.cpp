// qrk serve: the robot live in Foxglove. The SDK's WebSocket server
// advertises qrk's Foxglove topics (foxglove_topics.hpp), or with --ros2 a
// ROS 2 recording's (ros2_topics.hpp) in their stead, and sends every
// sample to the viewers subscribed to them; a viewer that falls behind loses
// messages in its own bounded queue, and viewers coming and going never
// touch the robot's connection. The samples reach the server through the
// same feed as a recording's (source -> bounded queue -> sink). Ctrl-C
// or SIGTERM ends it with status 0 within a second, whatever the viewers do
// (the server's stop has a deadline), and prints what the feed received
// and dropped: a drop means the server did not keep up with the robot.
#include <fmt/format.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "cli/commands.hpp"
#include "cli/recorder/foxglove_topics.hpp"
#include "cli/recorder/ros2_topics.hpp"
#include "cli/recorder/sample_feed.hpp"
#include "cli/robot_link_access.hpp"
#include "foxglove/live_server.hpp"
#include "toolkit/stop_signal.hpp"

namespace velmor::cli {
namespace {

std::string Summary(const StreamCounts& counts) {
  return fmt::format("{} samples received, {} served, {} dropped, {} not fitting the layout", counts.received,
                     counts.written, counts.dropped, counts.unfit);
}

struct ServedCounts {
  StreamCounts basic;
  StreamCounts extra;
};

// Serves `robot`'s samples on the Plan's topics until Ctrl-C or SIGTERM.
template <class Plan>
ServedCounts ServeUntilStopped(foxglove::LiveServer& server, qrk_impl::RobotLink& robot, const RecordedGroups& groups,
                               const CommandLine& line) {
  SampleTopics<foxglove::LiveServer, Plan> topics(server, groups, robot.Layout().start_ids, robot.Layout().dofs);
  TopicSink<decltype(topics), qrk_impl::BasicStreamData> basic_sink(topics);
  TopicSink<decltype(topics), qrk_impl::ExtraStreamData> extra_sink(topics);
  SampleFeed feed(basic_sink, extra_sink);
  feed.Start(robot);
  std::printf("serving %s on ws://%s:%u: in Foxglove, Open connection > Foxglove WebSocket; Ctrl-C ends it\n",
              robot.Serial().c_str(), line.host.c_str(), static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
  while (!toolkit::StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  feed.Finish();
  return {feed.Basic(), feed.Extra()};
}

ServedCounts Serve(foxglove::LiveServer& server, qrk_impl::RobotLink& robot, const RecordedGroups& groups,
                   const CommandLine& line) {
  if (!line.ros2) return ServeUntilStopped<FoxglovePlan>(server, robot, groups, line);
  return WithRos2Plan(line.all_fields,
                      [&](auto plan) { return ServeUntilStopped<decltype(plan)>(server, robot, groups, line); });
}

}  // namespace

int RunServe(const CommandLine& line) {
  toolkit::InstallStopSignalHandlers();
  std::unique_ptr<foxglove::LiveServer> server;
  JointNameMap names;
  try {
    if (!line.joint_names.empty()) names = ReadJointNames(line.joint_names);
    const auto profile = line.ros2 ? Ros2Plan::kProfile : FoxglovePlan::kProfile;
    server = std::make_unique<foxglove::LiveServer>(line.host, line.port, line.max_viewers, profile);
  } catch (const JointNamesError& error) {
    std::fprintf(stderr, "qrk: serve: --joint-names %s\n", error.what());
    return 1;
  } catch (const foxglove::ServeError& error) {
    std::fprintf(stderr, "qrk: serve: %s\n", error.what());
    return 1;
  }
  const auto robot = OpenRobotLink(line.serial);
  try {
    if (!names.empty()) server->SetJointNames(JointNamesOf(*robot, names, line.joint_names));
  } catch (const JointNamesError& error) {
    std::fprintf(stderr, "qrk: serve: --joint-names %s\n", error.what());
    return 1;
  }
  const RecordedGroups groups = GroupsToRecord(*robot);
  const auto [basic, extra] = Serve(*server, *robot, groups, line);
  std::printf("basic stream: %s\nextra stream: %s\nviewers refused (over --max-viewers %zu): %llu\n",
              Summary(basic).c_str(), Summary(extra).c_str(), line.max_viewers,
              static_cast<unsigned long long>(server->Refused()));
  if (const auto late = LateGroupsLine(groups)) std::printf("%s\n", late->c_str());
  if (basic.dropped + extra.dropped > 0) {
    std::fprintf(stderr, "qrk: serve: %llu samples dropped: the server did not keep up with the streams\n",
                 static_cast<unsigned long long>(basic.dropped + extra.dropped));
  }
  return 0;
}

}  // namespace velmor::cli
