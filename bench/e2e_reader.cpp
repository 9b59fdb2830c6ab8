// The reader side of the end-to-end benchmarks, run on the main host against
// a robot on the other host of scripts/netns-run --peer. Each mode prints its
// figures one per line ("<label> <value>...") for bench/run_bench.py to pool.
//
//   e2e_reader client SN COUNT   delay until velmor::qrk::Client::states(),
//                                polled in a tight loop, returns each sample,
//                                paired with the same sample's delay at a
//                                bare subscriber callback on the same session
//                                ("pair <bare ns> <client ns>")
//   e2e_reader raw SN COUNT      the bare callback's delay in a process of its
//                                own, with a thread spinning where the poller
//                                would run
//   e2e_reader query SN COUNT    round trips of connected() and of a bare
//                                query to the same queryable, interleaved
//   e2e_reader count SN SECONDS  samples sent by qrk-sim against those the
//                                client's session delivered and decoded, and
//                                those a tight states() poll saw
//   e2e_reader idle SN SECONDS   process CPU time per sample of bare
//                                subscribers to both streams that only count:
//                                zenoh's own share of receiving
//   e2e_reader fleet SN,SN.. S   one client per robot in this process against
//                                bare subscribers on the same keys: receive
//                                CPU, paired freshness, construction, memory,
//                                threads, samples lost (bench/e2e_fleet.cpp)
//   e2e_reader fleet-bare SN,SN.. S  the same keys' bare subscribers in a
//                                process of its own, alongside
//
// Latencies need stamp-server's time stamps: (sequence, CLOCK_MONOTONIC ns
// modulo 2^32 at the put). The first kWarmUp samples are not reported.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/e2e_support.hpp"
#include "messages/rpc_codec.hpp"
#include "messages/stream_codec.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "middleware/zenoh/subscriber.hpp"
#include "velmor/qrk/client.hpp"

namespace {

namespace zenoh = velmor::zenoh;
namespace mdw = velmor::zenoh_mdw;
using namespace velmor::bench;  // NOLINT: the helpers every mode shares

int Raw(const std::string& serial, int count) {
  struct Log {
    std::mutex mutex;
    std::condition_variable full;
    std::vector<std::uint32_t> latencies;
    std::uint32_t last_sequence = 0;
    int seen = 0;
    int gaps = 0;
  };
  auto log = std::make_shared<Log>();
  log->latencies.reserve(static_cast<std::size_t>(count));
  auto session = mdw::SharedSession();
  const std::size_t wanted = static_cast<std::size_t>(count);
  std::atomic<bool> stop{false};
  std::thread spinner([&stop] {
    while (!stop.load(std::memory_order_relaxed)) {
    }
  });
  struct Join {
    std::atomic<bool>& stop;
    std::thread& thread;
    ~Join() {
      stop = true;
      thread.join();
    }
  } join{stop, spinner};
  // The clock is read first thing; the time stamp pair is the payload's last 8 bytes.
  zenoh::Subscriber subscriber(*session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kBasicStreamSuffix)),
                               [log, wanted](zenoh::ByteView p) {
                                 const std::uint32_t now = NowLow();
                                 if (p.size < 8) return;
                                 const std::uint32_t sequence = ReadU32(p.data + p.size - 8);
                                 const std::uint32_t latency = now - ReadU32(p.data + p.size - 4);
                                 std::lock_guard<std::mutex> lock(log->mutex);
                                 if (log->seen > 0 && sequence != log->last_sequence + 1) ++log->gaps;
                                 log->last_sequence = sequence;
                                 if (++log->seen > kWarmUp && log->latencies.size() < wanted)
                                   log->latencies.push_back(latency);
                                 if (log->latencies.size() == wanted) log->full.notify_all();
                               });
  std::unique_lock<std::mutex> lock(log->mutex);
  if (!log->full.wait_for(lock, kGiveUpAfter, [&] { return log->latencies.size() == wanted; })) {
    std::fprintf(stderr, "raw: only %zu samples arrived\n", log->latencies.size());
    return 1;
  }
  for (const std::uint32_t latency : log->latencies) std::printf("raw %u\n", latency);
  std::printf("gaps %d\n", log->gaps);
  return 0;
}

// The client and a bare subscriber share the session, the link and the
// machine's load, so each sample yields a pair of delays. The bare
// subscriber is declared first: zenoh then runs its callback before the
// client's (it only reads the clock and the last 8 bytes).
int Polling(const std::string& serial, int count) {
  auto session = mdw::SharedSession();
  auto raw = std::make_shared<RawDelays>();
  zenoh::Subscriber subscriber(*session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kBasicStreamSuffix)),
                               [raw](zenoh::ByteView p) {
                                 const std::uint32_t now = NowLow();
                                 if (p.size < 8) return;
                                 raw->Record(ReadU32(p.data + p.size - 8), now - ReadU32(p.data + p.size - 4));
                               });
  auto client = Connect(serial);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;  // (raw, client)
  pairs.reserve(static_cast<std::size_t>(count));
  std::int32_t last_sequence = 0;
  int seen = 0;
  int missed = 0;  // samples overwritten before a poll returned them
  std::uint64_t polls = 0;
  const auto deadline = Clock::now() + kGiveUpAfter;
  while (pairs.size() < static_cast<std::size_t>(count)) {
    const auto states = client->states();
    ++polls;
    if (states.empty()) continue;
    const auto [sequence, sent] = states.begin()->second.timestamp;
    if (sequence == last_sequence) {
      if ((polls & 0xFFFF) == 0 && Clock::now() > deadline) {
        std::fprintf(stderr, "client: only %zu samples arrived\n", pairs.size());
        return 1;
      }
      continue;
    }
    const std::uint32_t latency = NowLow() - static_cast<std::uint32_t>(sent);
    if (seen > 0 && sequence != last_sequence + 1) missed += sequence - last_sequence - 1;
    last_sequence = sequence;
    if (++seen <= kWarmUp) continue;
    if (const auto bare = raw->Find(static_cast<std::uint32_t>(sequence))) pairs.emplace_back(*bare, latency);
  }
  for (const auto& [bare, latency] : pairs) std::printf("pair %u %u\n", bare, latency);
  std::printf("missed %d\npolls %llu\n", missed, static_cast<unsigned long long>(polls));
  return 0;
}

// The bare query mirrors RpcClient: the same payload to the same key, and the
// caller wakes on the first good reply or the end of the replies.
class BareQuery {
 public:
  explicit BareQuery(const std::string& serial)
      : session_(mdw::SharedSession()),
        key_(mdw::RobotKey(serial, mdw::kRpcSuffix)),
        payload_(velmor::zenoh_msgs::Encode(velmor::zenoh_msgs::qrk_msg::RPCRequest{})) {}

  bool operator()() const {
    struct Wait {
      std::mutex mutex;
      std::condition_variable condition;
      bool done = false;
      bool replied = false;
    };
    auto wait = std::make_shared<Wait>();
    zenoh::GetOptions options;
    options.payload = payload_;
    options.timeout_ms = 1000;
    session_->get(
        key_, std::move(options),
        [wait](bool ok, std::string_view, zenoh::ByteView) {
          if (!ok) return;
          std::lock_guard<std::mutex> lock(wait->mutex);
          wait->replied = wait->done = true;
          wait->condition.notify_all();
        },
        [wait] {
          std::lock_guard<std::mutex> lock(wait->mutex);
          wait->done = true;
          wait->condition.notify_all();
        });
    std::unique_lock<std::mutex> lock(wait->mutex);
    wait->condition.wait_for(lock, std::chrono::seconds(1), [&] { return wait->done; });
    return wait->replied;
  }

 private:
  std::shared_ptr<zenoh::Session> session_;
  zenoh::KeyExpr key_;
  std::vector<std::uint8_t> payload_;
};

int Queries(const std::string& serial, int count) {
  auto client = Connect(serial);
  BareQuery bare(serial);
  for (int i = 0; i < kWarmUp / 10; ++i) {
    client->connected();
    bare();
  }
  std::vector<std::int64_t> library, raw;
  for (int i = 0; i < count; ++i) {
    // Alternating which goes first keeps any ordering effect out of the ratio.
    for (int k = 0; k < 2; ++k) {
      const bool use_client = (i + k) % 2 == 0;
      const auto start = Clock::now();
      const bool ok = use_client ? client->connected() : bare();
      const auto took = NanosBetween(start, Clock::now());
      if (!ok) {
        std::fprintf(stderr, "query: %s query %d failed\n", use_client ? "connected()" : "bare", i);
        return 1;
      }
      (use_client ? library : raw).push_back(took);
    }
  }
  for (const auto t : library) std::printf("connected %lld\n", static_cast<long long>(t));
  for (const auto t : raw) std::printf("get %lld\n", static_cast<long long>(t));
  return 0;
}

// A subscriber on the client's own session receives exactly the samples the
// client's subscribers receive (zenoh hands each sample to every matching
// subscriber of the session); it decodes them with the same decoder.
int Count(const std::string& serial, int seconds) {
  namespace msg = velmor::zenoh_msgs::qrk_msg;
  auto client = Connect(serial);
  struct Tally {
    std::mutex mutex;
    std::uint64_t basic = 0, extra = 0, bad = 0;
    std::uint32_t first = 0, last = 0;
    bool counting = false;
  };
  auto tally = std::make_shared<Tally>();
  auto session = mdw::SharedSession();
  zenoh::Subscriber basic(
      *session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kBasicStreamSuffix)), [tally](zenoh::ByteView p) {
        std::uint32_t sequence = 0;
        bool good = true;
        try {
          sequence = velmor::zenoh_msgs::Decode<msg::AllBasicStreamData>(p.data, p.size).timestamp_second;
        } catch (const std::exception&) {
          good = false;
        }
        std::lock_guard<std::mutex> lock(tally->mutex);
        if (!tally->counting) return;
        if (!good) {
          ++tally->bad;
          return;
        }
        if (tally->basic++ == 0) tally->first = sequence;
        tally->last = sequence;
      });
  zenoh::Subscriber extra(*session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kExtraStreamSuffix)),
                          [tally](zenoh::ByteView p) {
                            bool good = true;
                            try {
                              velmor::zenoh_msgs::Decode<msg::AllExtraStreamData>(p.data, p.size);
                            } catch (const std::exception&) {
                              good = false;
                            }
                            std::lock_guard<std::mutex> lock(tally->mutex);
                            if (tally->counting) ++(good ? tally->extra : tally->bad);
                          });
  {
    std::lock_guard<std::mutex> lock(tally->mutex);
    tally->counting = true;
  }
  std::int32_t last_seen = -1;
  std::uint64_t distinct = 0, polls = 0;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    const auto states = client->states();
    ++polls;
    if (states.empty()) continue;
    const std::int32_t sequence = states.begin()->second.timestamp.second;
    if (sequence != last_seen) ++distinct;
    last_seen = sequence;
  }
  std::lock_guard<std::mutex> lock(tally->mutex);
  tally->counting = false;
  std::printf("sent %u\nbasic %llu\nextra %llu\nbad %llu\npolled %llu\npolls %llu\n", tally->last - tally->first + 1,
              static_cast<unsigned long long>(tally->basic), static_cast<unsigned long long>(tally->extra),
              static_cast<unsigned long long>(tally->bad), static_cast<unsigned long long>(distinct),
              static_cast<unsigned long long>(polls));
  return 0;
}

int Idle(const std::string& serial, int seconds) {
  auto session = mdw::SharedSession();
  std::atomic<std::uint64_t> basic{0}, extra{0};
  zenoh::Subscriber basic_subscriber(*session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kBasicStreamSuffix)),
                                     [&basic](zenoh::ByteView) { ++basic; });
  zenoh::Subscriber extra_subscriber(*session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kExtraStreamSuffix)),
                                     [&extra](zenoh::ByteView) { ++extra; });
  std::this_thread::sleep_for(std::chrono::seconds(2));  // discovery and warm-up
  const std::uint64_t basic0 = basic;
  const double cpu0 = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = CpuSeconds() - cpu0;
  const std::uint64_t samples = basic - basic0;
  std::printf("samples %llu\ncpu_ns_per_sample %lld\n", static_cast<unsigned long long>(samples),
              samples ? static_cast<long long>(cpu * 1e9 / static_cast<double>(samples)) : 0LL);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: %s raw|client|query|count|idle SERIAL COUNT | fleet|fleet-bare SERIAL,SERIAL... SECONDS\n",
                 argv[0]);
    return 64;
  }
  const std::string mode = argv[1];
  const std::string serial = argv[2];
  const int count = std::atoi(argv[3]);
  try {
    if (mode == "raw") return Raw(serial, count);
    if (mode == "client") return Polling(serial, count);
    if (mode == "query") return Queries(serial, count);
    if (mode == "count") return Count(serial, count);
    if (mode == "idle") return Idle(serial, count);
    if (mode == "fleet" || mode == "fleet-bare") {
      std::vector<std::string> serials;
      for (std::size_t from = 0; from <= serial.size();) {
        const std::size_t comma = std::min(serial.find(',', from), serial.size());
        serials.push_back(serial.substr(from, comma - from));
        from = comma + 1;
      }
      return mode == "fleet" ? Fleet(serials, count) : FleetBare(serials, count);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", mode.c_str(), error.what());
    return 1;
  }
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 64;
}
