// qrk-sim as a separate process, reached only through zenoh: what the client
// will see of it.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "messages/rpc_codec.hpp"
#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/rpc_client.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/subscriber.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/subscriber.hpp"
#include "support/child_process.hpp"
#include "support/wait.hpp"

namespace velmor::sim {
namespace {

namespace msg = zenoh_msgs::qrk_msg;
using namespace std::chrono_literals;
using Rpc = zenoh_mdw::RpcClient<msg::RPCRequest, msg::RPCReply>;

// A shell starts the simulator in the background and prints its pid first,
// so the test can signal the simulator itself; the shell's exit status is
// the simulator's. --duration ends a simulator the test failed to stop.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& options) : child_(Command(options)) {
    const auto pid_line = child_.ReadLine(10s);
    if (pid_line) pid_ = std::stoi(*pid_line);
    ready_ = pid_ > 0 && child_.ReadLine(20s) == std::optional<std::string>("ready");
  }
  ~SimProcess() { Terminate(); }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool ready() const { return ready_; }
  void Terminate() { Signal(SIGTERM); }
  void Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }
  std::optional<int> Wait(std::chrono::milliseconds timeout) { return child_.Wait(timeout); }

 private:
  static std::vector<std::string> Command(const std::vector<std::string>& options) {
    std::vector<std::string> argv{"/bin/sh",    "-c",         "\"$0\" \"$@\" & echo $!; wait $!",
                                  QRK_SIM_PATH, "--duration", "30"};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
  }

  test::ChildProcess child_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

/// Asks until a reply arrives: the first queries may go out before zenoh has
/// discovered the simulator.
std::optional<msg::RPCReply> AskWithin(Rpc& rpc, std::uint16_t procedure, std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  do {
    msg::RPCReply reply;
    if (rpc.SendRequestAndGetReply(msg::RPCRequest{procedure, {}}, reply, 1.0)) return reply;
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

// Every basic sample the simulator streams, kept in arrival order.
class BasicSamples {
 public:
  BasicSamples(const std::shared_ptr<zenoh::Session>& session, const std::string& serial)
      : subscriber_(
            session, incoming_,
            [this](msg::AllBasicStreamData& fresh) -> msg::AllBasicStreamData& {
              std::lock_guard<std::mutex> lock(mutex_);
              samples_.push_back(fresh);
              return fresh;
            },
            zenoh_mdw::RobotKey(serial, zenoh_mdw::kBasicStreamSuffix)) {}

  std::vector<msg::AllBasicStreamData> Copy() {
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
  }

  // How many came so far, and whether the last of them is `wanted`.
  template <class Predicate>
  std::pair<std::size_t, bool> CountAndLast(Predicate wanted) {
    std::lock_guard<std::mutex> lock(mutex_);
    return {samples_.size(), !samples_.empty() && wanted(samples_.back())};
  }

 private:
  std::mutex mutex_;
  std::vector<msg::AllBasicStreamData> samples_;
  msg::AllBasicStreamData incoming_;
  zenoh_mdw::Subscriber<msg::AllBasicStreamData> subscriber_;
};

TEST(SimProcess, StreamsAnswersAndStopsCleanlyOnSigterm) {
  const std::string serial = "SIMTEST-1";
  SimProcess sim({"--serial", serial, "--rate", "200"});
  ASSERT_TRUE(sim.ready());
  auto session = zenoh_mdw::SharedSession();
  {
    BasicSamples stream(session, serial);
    ASSERT_TRUE(test::WaitUntil([&] { return stream.CountAndLast([](const auto&) { return true; }).first >= 2; }));
    const auto samples = stream.Copy();
    EXPECT_EQ(samples[0].group_indices, (std::vector<std::uint16_t>{0, 2, 3, 4, 5}));
    EXPECT_EQ(samples[0].cartesian_data.size(), 5u);
    EXPECT_GE(samples[0].timestamp_second, 1u);
    EXPECT_GT(samples[1].timestamp_second, samples[0].timestamp_second);
  }
  Rpc rpc(session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kRpcSuffix));
  const auto version = AskWithin(rpc, 1, 10s);
  ASSERT_TRUE(version);
  EXPECT_EQ(version->request_id, 1);
  EXPECT_TRUE(version->success);
  EXPECT_EQ(version->string_container, std::vector<std::string>{"v2.1"});
  const auto reachability = AskWithin(rpc, 0, 5s);
  ASSERT_TRUE(reachability);
  EXPECT_FALSE(reachability->success);

  sim.Terminate();
  EXPECT_EQ(sim.Wait(10s), 0);
}

TEST(SimProcess, FaultSwitchesShowOnTheWire) {
  const std::string serial = "SIMTEST-2";
  SimProcess sim({"--serial", serial, "--rate", "100", "--garbage-rate", "50", "--silent"});
  ASSERT_TRUE(sim.ready());
  auto session = zenoh_mdw::SharedSession();
  std::mutex mutex;
  int good = 0;
  int bad = 0;
  const zenoh::Subscriber raw(*session, zenoh::KeyExpr(zenoh_mdw::RobotKey(serial, zenoh_mdw::kBasicStreamSuffix)),
                              [&](zenoh::ByteView payload) {
                                bool decodes = true;
                                try {
                                  zenoh_msgs::Decode<msg::AllBasicStreamData>(payload.data, payload.size);
                                } catch (const std::exception&) {
                                  decodes = false;
                                }
                                std::lock_guard<std::mutex> lock(mutex);
                                ++(decodes ? good : bad);
                              });
  EXPECT_TRUE(test::WaitUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return good >= 10 && bad >= 3;
  }));
  // The streams arrive, so the simulator is discovered: a query that gets no
  // reply now is one the silent server held.
  Rpc rpc(session, zenoh_mdw::RobotKey(serial, zenoh_mdw::kRpcSuffix));
  msg::RPCReply reply;
  EXPECT_FALSE(rpc.SendRequestAndGetReply(msg::RPCRequest{1, {}}, reply, 1.0));

  // The query is still held (for 5 s); that must not keep the simulator from stopping.
  sim.Terminate();
  EXPECT_EQ(sim.Wait(10s), 0);
}

// Scripted inputs hold their state from their event on; SIGUSR2 presses the
// E-stop and a second one releases it, on every sample after it arrives.
TEST(SimProcess, ScriptedEventsAndTheEstopSignalShowOnTheWire) {
  const std::string serial = "SIMTEST-3";
  SimProcess sim({"--serial", serial, "--rate", "200", "--event", "di:3:on@0", "--event", "enabling:off@0"});
  ASSERT_TRUE(sim.ready());
  auto session = zenoh_mdw::SharedSession();
  BasicSamples stream(session, serial);
  // Waits for a sample after those seen so far whose E-stop is `released`.
  const auto estop_becomes = [&](bool released) {
    const auto is = [released](const msg::AllBasicStreamData& sample) {
      return sample.status.estop_released == released;
    };
    const std::size_t seen = stream.CountAndLast(is).first;
    return test::WaitUntil([&] {
      const auto [count, last_is] = stream.CountAndLast(is);
      return count > seen && last_is;
    });
  };
  ASSERT_TRUE(estop_becomes(true));
  for (const msg::AllBasicStreamData& sample : stream.Copy()) {
    EXPECT_TRUE(sample.status.digital_inputs[3]);
    EXPECT_FALSE(sample.status.enabling_device_on);
  }
  sim.Signal(SIGUSR2);
  EXPECT_TRUE(estop_becomes(false));
  sim.Signal(SIGUSR2);
  EXPECT_TRUE(estop_becomes(true));

  sim.Terminate();
  EXPECT_EQ(sim.Wait(10s), 0);
}

}  // namespace
}  // namespace velmor::sim
