// Cost of decoding the payloads the client receives: the measured-state
// stream message of a 16-joint robot with four joint groups (it arrives a
// thousand times a second) and an RPC reply carrying eight strings. Each is
// decoded into a fresh message (Decode) and into a reused one (DecodeInto,
// the subscriber's path), and copied with a plain memcpy in the same run as
// the yardstick. After the runs a summary gives ns per message (median over
// repetitions) and the ratios to memcpy.
//
// The payloads are also written to <dir>/basic_payload.bin and
// <dir>/reply_payload.bin (--payload_dir=DIR, default: the working directory)
// so that bridge/benches/decode.rs can time zenoh's own deserializer on the
// same bytes; scripts/bench-decode runs both.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "messages/rpc_codec.hpp"
#include "messages/stream_codec.hpp"
#include "support/robot_messages.hpp"

namespace {

namespace msg = velmor::zenoh_msgs::qrk_msg;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kJoints = 16;

// Both arms, each arm, the external axis.
msg::AllBasicStreamData BasicMessage() { return velmor::test::RobotBasic(kJoints, {2, 3, 4, 5}); }

msg::RPCReply ReplyMessage() {
  msg::RPCReply r;
  r.request_id = 4;
  r.success = true;
  r.string_container = {"PickAndPlace",    "ApproachGrasp-Primitive-3", "Running", "node_approach",
                        "ArmsCoordinated", "waypoint index 12 of 40",   "0.734",   "task-7f3a"};
  return r;
}

void Memcpy(benchmark::State& state, const Bytes& payload) {
  Bytes copy(payload.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), payload.data(), payload.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

template <class T>
void DecodeFresh(benchmark::State& state, const Bytes& payload) {
  for (auto _ : state) {
    T message = velmor::zenoh_msgs::Decode<T>(payload.data(), payload.size());
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

template <class T>
void DecodeReused(benchmark::State& state, const Bytes& payload) {
  T message;
  for (auto _ : state) {
    velmor::zenoh_msgs::DecodeInto(message, payload.data(), payload.size());
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

/// memcpy, Decode and DecodeInto of one payload, named "<kind>/<payload>".
template <class T>
void Register(const std::string& payload_name, const Bytes& payload) {
  const auto ns = benchmark::kNanosecond;
  benchmark::RegisterBenchmark(("memcpy/" + payload_name).c_str(), Memcpy, payload)->Unit(ns);
  benchmark::RegisterBenchmark(("Decode/" + payload_name).c_str(), DecodeFresh<T>, payload)->Unit(ns);
  benchmark::RegisterBenchmark(("DecodeInto/" + payload_name).c_str(), DecodeReused<T>, payload)->Unit(ns);
}

/// The console output as usual, plus every run's ns per iteration kept by
/// benchmark name for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  // Colour only on a terminal: scripts/bench-decode reads the output.
  SummaryReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        samples_[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
      }
    }
  }

  /// Median ns per iteration of `name`, or NaN if it did not run.
  double MedianNs(const std::string& name) const {
    const auto it = samples_.find(name);
    if (it == samples_.end() || it->second.empty()) return std::nan("");
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }

 private:
  std::map<std::string, std::vector<double>> samples_;
};

bool WritePayload(const std::filesystem::path& path, const Bytes& payload) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(payload.data()), static_cast<std::streamsize>(payload.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::filesystem::path payload_dir = ".";
  int rest = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--payload_dir=", 0) == 0) {
      payload_dir = arg.substr(std::strlen("--payload_dir="));
    } else {
      argv[rest++] = argv[i];
    }
  }
  if (benchmark::ReportUnrecognizedArguments(rest, argv)) return 64;

  struct Payload {
    const char* name;
    Bytes bytes;
  };
  const std::array<Payload, 2> payloads{
      {{"basic", velmor::zenoh_msgs::Encode(BasicMessage())}, {"reply", velmor::zenoh_msgs::Encode(ReplyMessage())}}};
  std::filesystem::create_directories(payload_dir);
  for (const Payload& p : payloads) {
    const auto path = payload_dir / (std::string(p.name) + "_payload.bin");
    if (!WritePayload(path, p.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }

  Register<msg::AllBasicStreamData>(payloads[0].name, payloads[0].bytes);
  Register<msg::RPCReply>(payloads[1].name, payloads[1].bytes);

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  // One row per payload; scripts/bench-decode reads the rows by their first word.
  std::printf("\nns per message (median), payloads in %s\n", payload_dir.c_str());
  std::printf("%-8s %6s %10s %12s %10s %14s %18s\n", "payload", "bytes", "Decode", "DecodeInto", "memcpy",
              "Decode/memcpy", "DecodeInto/memcpy");
  for (const Payload& p : payloads) {
    const std::string name = p.name;
    const double copy = reporter.MedianNs("memcpy/" + name);
    const double fresh = reporter.MedianNs("Decode/" + name);
    const double reused = reporter.MedianNs("DecodeInto/" + name);
    std::printf("%-8s %6zu %10.1f %12.1f %10.1f %14.1f %18.1f\n", p.name, p.bytes.size(), fresh, reused, copy,
                fresh / copy, reused / copy);
  }
  return 0;
}
