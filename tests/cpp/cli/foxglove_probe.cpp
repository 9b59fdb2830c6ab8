// foxglove_probe: drives qrk's Foxglove outputs with the simulator's robot
// (five joint groups, the records as the client slices them) for the tests in
// tests/python/test_foxglove_outputs.py, which read the results with
// independent readers.
//
//   foxglove_probe record PATH COMPRESSION SAMPLES
//     writes SAMPLES samples at 1 kHz of every topic, the metadata record
//     `robot`, and the summary; prints one JSON line: the file's size, the
//     CPU seconds spent in the writer, and ARM_1's values of the first and
//     last sample. Exit 1 with the error on stderr when a write fails.
//   foxglove_probe serve PORT RATE
//     serves the same topics live at RATE samples per second from now on;
//     prints "port N" once listening, ends on SIGINT/SIGTERM (exit 0). Exit 1
//     with the error on stderr when it cannot listen.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "foxglove/live_server.hpp"
#include "foxglove/mcap_writer.hpp"
#include "services/stream_slicing.hpp"
#include "sim/robot_layout.hpp"
#include "sim/robot_model.hpp"
#include "toolkit/stop_signal.hpp"

namespace {

using velmor::foxglove::Compression;
using velmor::foxglove::GroupFrames;
using velmor::foxglove::MessageStamp;
using velmor::foxglove::Schema;
using velmor::qrk::JointGroup;
namespace qrk = velmor::qrk;
namespace qrk_impl = velmor::qrk_impl;

constexpr std::uint64_t kStartNs = 1'700'000'000'000'000'000ULL;
constexpr double kRate = 1000.0;

struct Layout {
  qrk_impl::GroupNames names;
  qrk_impl::StartIds starts;
  qrk_impl::Dofs dofs;
};

Layout RobotLayout() {
  Layout layout;
  for (const auto& group : velmor::sim::kRobotGroups) {
    const auto id = static_cast<JointGroup>(group.group);
    layout.names[id] = group.name;
    layout.starts[id] = group.start_id;
    layout.dofs[id] = group.dof;
  }
  return layout;
}

// One sample of every stream, as the client's records.
struct Sample {
  std::map<JointGroup, qrk::RobotStates> states;
  std::map<JointGroup, qrk::RobotActions> actions;
  qrk_impl::RobotIo io;
};

Sample MakeSample(const velmor::sim::RobotModel& model, const Layout& layout, std::uint32_t number) {
  const double t = number / kRate;
  const auto message = model.Basic(t, number);
  const auto basic = qrk_impl::BasicStreamData::Of(message);
  Sample sample;
  sample.states = qrk_impl::SliceStates(basic, layout.names, layout.starts, layout.dofs);
  sample.actions = qrk_impl::SliceActions(qrk_impl::ExtraStreamData::Of(model.Extra(t)), qrk_impl::StampOf(basic),
                                          layout.names, layout.starts, layout.dofs);
  sample.io = qrk_impl::IoOf(basic);
  return sample;
}

// The channels of every topic on a writer or a server.
struct Channels {
  std::map<JointGroup, std::uint32_t> joint_states, states, actions;
  std::uint32_t tf = 0, io = 0;
};

template <class Output>
Channels AddChannels(Output& output, const Layout& layout) {
  Channels channels;
  for (const auto& [group, name] : layout.names) {
    channels.joint_states[group] = output.AddChannel("/" + name + "/joint_states", Schema::kJointStates);
    channels.states[group] = output.AddChannel("/" + name + "/states", Schema::kRobotStates);
    channels.actions[group] = output.AddChannel("/" + name + "/actions", Schema::kRobotActions);
  }
  channels.tf = output.AddChannel("/tf", Schema::kFrameTransforms);
  channels.io = output.AddChannel("/io", Schema::kRobotIo);
  return channels;
}

template <class Output>
void Log(Output& output, const Channels& channels, const Layout& layout, const MessageStamp& stamp,
         const Sample& sample) {
  std::vector<GroupFrames> frames;
  for (const auto& [group, states] : sample.states) {
    const auto first = static_cast<std::uint32_t>(layout.starts.at(group));
    output.LogStates(channels.joint_states.at(group), stamp, first, states);
    output.LogStates(channels.states.at(group), stamp, first, states);
    output.LogActions(channels.actions.at(group), stamp, first, sample.actions.at(group));
    frames.push_back({layout.names.at(group), states.tcp_pose, states.flange_pose});
  }
  output.LogFrames(channels.tf, stamp, frames);
  output.LogIo(channels.io, stamp, sample.io);
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string Arm1Json(const Sample& sample) {
  const qrk::RobotStates& s = sample.states.at(JointGroup::ARM_1);
  return fmt::format(R"({{"q": [{}], "dq": [{}], "tau": [{}], "tcp_pose": [{}], "flange_pose": [{}], "inputs": [{}]}})",
                     fmt::join(s.q, ", "), fmt::join(s.dq, ", "), fmt::join(s.tau, ", "), fmt::join(s.tcp_pose, ", "),
                     fmt::join(s.flange_pose, ", "), fmt::join(sample.io.digital_inputs, ", "));
}

Compression ParseCompression(const std::string& text) {
  if (text == "zstd") return Compression::kZstd;
  if (text == "lz4") return Compression::kLz4;
  if (text == "none") return Compression::kNone;
  throw std::invalid_argument("compression: zstd, lz4 or none");
}

int Record(const std::string& path, Compression compression, std::uint32_t samples) {
  const Layout layout = RobotLayout();
  const velmor::sim::RobotModel model(velmor::sim::AllRobotGroups(), 0);
  velmor::foxglove::McapWriter writer(path, compression);
  const Channels channels = AddChannels(writer, layout);
  double writer_cpu = 0.0;
  std::string first, last;
  for (std::uint32_t i = 0; i < samples; ++i) {
    const Sample sample = MakeSample(model, layout, i);
    const auto log_time = kStartNs + static_cast<std::uint64_t>(i) * 1'000'000ULL;
    const MessageStamp stamp{i, log_time};
    const double before = ThreadCpuSeconds();
    Log(writer, channels, layout, stamp, sample);
    writer_cpu += ThreadCpuSeconds() - before;
    if (i == 0) first = Arm1Json(sample);
    if (i + 1 == samples) last = Arm1Json(sample);
  }
  const double before = ThreadCpuSeconds();
  writer.WriteMetadata("robot", {{"serial", "AB-12-345"}, {"complete", "true"}});
  writer.Finish();
  writer_cpu += ThreadCpuSeconds() - before;
  fmt::print(R"({{"bytes": {}, "writer_cpu_seconds": {:.3f}, "first": {}, "last": {}}})"
             "\n",
             std::filesystem::file_size(path), writer_cpu, first, last);
  return 0;
}

int Serve(std::uint16_t port, double rate) {
  velmor::toolkit::InstallStopSignalHandlers();
  const Layout layout = RobotLayout();
  const velmor::sim::RobotModel model(velmor::sim::AllRobotGroups(), 0);
  velmor::foxglove::LiveServer server("127.0.0.1", port, 16);
  const Channels channels = AddChannels(server, layout);
  fmt::print("port {}\n", server.Port());
  std::fflush(stdout);
  const auto period = std::chrono::duration<double>(1.0 / rate);
  auto next = std::chrono::steady_clock::now();
  for (std::uint32_t i = 0; !velmor::toolkit::StopRequested(); ++i) {
    const auto now_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const MessageStamp stamp{i, static_cast<std::uint64_t>(now_ns)};
    Log(server, channels, layout, stamp, MakeSample(model, layout, i));
    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
    std::this_thread::sleep_until(next);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && args[0] == "record") {
      return Record(args[1], ParseCompression(args[2]), static_cast<std::uint32_t>(std::stoul(args[3])));
    }
    if (args.size() == 3 && args[0] == "serve") {
      return Serve(static_cast<std::uint16_t>(std::stoul(args[1])), std::stod(args[2]));
    }
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
  std::cerr << "usage: foxglove_probe record PATH zstd|lz4|none SAMPLES | serve PORT RATE\n";
  return 2;
}
