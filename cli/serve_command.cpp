// qrk serve: the robot live in Foxglove. The SDK's WebSocket server
// advertises qrk's Foxglove topics (foxglove_topics.hpp) and sends every
// sample to the viewers subscribed to them; a viewer that falls behind loses
// messages in its own bounded queue, and viewers coming and going never
// touch the robot's connection. The samples reach the server through the
// same pipeline as a recording's (source -> bounded queue -> sink). Ctrl-C
// or SIGTERM ends it with status 0 within a second, whatever the viewers do
// (the server's stop has a deadline), and prints what the pipeline received
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
#include "cli/recorder/recording.hpp"
#include "cli/robot_connection.hpp"
#include "foxglove/live_server.hpp"
#include "toolkit/stop_signal.hpp"

namespace velmor::cli {
namespace {

// The live server as a recording's output: its sinks log to the viewers.
class LiveOutput final : public RecordingOutput {
 public:
  LiveOutput(foxglove::LiveServer& server, const qrk_impl::RobotLink& robot)
      : topics_(server, robot.Groups(), robot.Layout().start_ids, robot.Layout().dofs),
        basic_(topics_),
        extra_(topics_) {}

  SampleSink<qrk_impl::BasicStreamData>& BasicSink() override { return basic_; }
  SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() override { return extra_; }
  void Describe(const RecordingProgress&) override {}
  std::string DescriptionPath() const override { return {}; }
  std::uint64_t BytesWritten() const override { return 0; }

 private:
  FoxgloveTopics<foxglove::LiveServer> topics_;
  TopicSink<foxglove::LiveServer, qrk_impl::BasicStreamData> basic_;
  TopicSink<foxglove::LiveServer, qrk_impl::ExtraStreamData> extra_;
};

std::string Summary(const StreamCounts& counts) {
  return fmt::format("{} samples received, {} served, {} dropped, {} not fitting the layout", counts.received,
                     counts.written, counts.dropped, counts.unfit);
}

}  // namespace

int RunServe(const CommandLine& line) {
  toolkit::InstallStopSignalHandlers();
  std::unique_ptr<foxglove::LiveServer> server;
  try {
    server = std::make_unique<foxglove::LiveServer>(line.host, line.port, line.max_viewers);
  } catch (const foxglove::ServeError& error) {
    std::fprintf(stderr, "qrk: serve: %s\n", error.what());
    return 1;
  }
  const auto robot = ConnectToRobot(line.serial);
  Recording feed(std::make_unique<LiveOutput>(*server, *robot));
  feed.Start(*robot);
  std::printf("serving %s on ws://%s:%u: in Foxglove, Open connection > Foxglove WebSocket; Ctrl-C ends it\n",
              robot->Serial().c_str(), line.host.c_str(), static_cast<unsigned>(server->Port()));
  std::fflush(stdout);
  while (!toolkit::StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  feed.Finish("signal");
  const StreamCounts basic = feed.Basic();
  const StreamCounts extra = feed.Extra();
  std::printf("basic stream: %s\nextra stream: %s\nviewers refused (over --max-viewers %zu): %llu\n",
              Summary(basic).c_str(), Summary(extra).c_str(), line.max_viewers,
              static_cast<unsigned long long>(server->Refused()));
  if (basic.dropped + extra.dropped > 0) {
    std::fprintf(stderr, "qrk: serve: %llu samples dropped: the server did not keep up with the streams\n",
                 static_cast<unsigned long long>(basic.dropped + extra.dropped));
  }
  return 0;
}

}  // namespace velmor::cli
