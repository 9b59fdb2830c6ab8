// e2e_reader fleet SN,SN,... SECONDS: one velmor::qrk::Client per robot of a
// stamp-server, all in this process and so on its one session, measured
// against bare subscribers on the same keys. Each of kRounds rounds runs, for
// SECONDS each (odd rounds run "bare" first):
//
//   clients  the clients, polled at 100 Hz each; CPU of every thread but the
//            polling one ("cpu_client <cpu ns> <wall ns> <basic samples>
//            <start, CLOCK_MONOTONIC ns>")
//   fresh    the clients polled in a tight loop, round robin; each new sample
//            paired with its delay at a bare callback on the same session
//            ("pair <bare ns> <client ns>")
//   bare     the clients gone, two subscribers per robot that only count in
//            their place, this thread waking at 100 Hz all the same
//            ("cpu_bare ..."), then the same with this thread spinning where
//            the tight poll ran
//
// The bare stamp callbacks (declared before the clients, so zenoh runs them
// first) stay for all three phases, so each CPU phase has the same number of
// subscribers per key. They also count the basic samples that reached the
// session and the gaps in the sequence numbers, phase by phase
// ("lost_clients", "lost_tight", "lost_bare", "lost_spin": <arrived> <lost>;
// "lost_other" for the time in between): zenoh hands a sample to every
// matching subscriber of a session, so a sample missing there is missing for
// the clients too.
//
// Each round also builds the clients anew: "construct <i> <ns>" for the i-th
// client (its robot already streaming, i-1 clients already live), and
// "threads <n>" with all of them live, after the polling. The first round
// alone reports memory, "rss <i> <bytes>" after the i-th client and
// "rss_base" before the first, since later rounds reuse what the allocator
// kept.
//
// e2e_reader fleet-bare SN,SN,... SECONDS runs alongside, in a process of its
// own: the same subscribers as the clients' process (a stamp callback and two
// on each robot's streams), only counting, with its cumulative receive CPU
// every 100 ms ("tick <CLOCK_MONOTONIC ns> <cpu ns> <basic samples>"). Both
// processes then receive the same samples under the same load at the same
// time, which on a shared machine whose load keeps changing is the fairer
// reference; the in-process bare phase is the second one.
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/e2e_support.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/session.hpp"
#include "middleware/zenoh/subscriber.hpp"

namespace velmor::bench {
namespace {

namespace zenoh = velmor::zenoh;
namespace mdw = velmor::zenoh_mdw;

constexpr int kRounds = 5;
constexpr auto kWarmUpTime = std::chrono::seconds(1);
constexpr auto kPollPeriod = std::chrono::milliseconds(10);

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long ThreadCount() {
  long count = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * 4096;
}

// One robot's bare stamp callback: delays by sequence number for the pairs,
// and the basic samples that reached the session, and those that did not
// (gaps in the sequence numbers), since the callback was declared.
struct Robot {
  explicit Robot(std::atomic<std::uint64_t>& all_arrivals) : all(all_arrivals) {}

  std::atomic<std::uint64_t>& all;  // basic samples of every robot, for CPU per sample
  RawDelays delays;
  std::mutex mutex;
  std::uint32_t last = 0;
  std::uint64_t arrived = 0, lost = 0;

  void Take(zenoh::ByteView p) {
    const std::uint32_t now = NowLow();
    if (p.size < 8) return;
    const std::uint32_t sequence = ReadU32(p.data + p.size - 8);
    delays.Record(sequence, now - ReadU32(p.data + p.size - 4));
    all.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(mutex);
    if (arrived++ > 0 && sequence > last + 1) lost += sequence - last - 1;
    last = sequence;
  }
};

// Basic samples of every robot that arrived and that were lost between two
// readings: `<label> <arrived> <lost>`.
class LossCount {
 public:
  explicit LossCount(std::vector<std::unique_ptr<Robot>>& robots) : robots_(robots) { Totals(arrived_, lost_); }
  void Report(const char* label) {
    std::uint64_t arrived = 0, lost = 0;
    Totals(arrived, lost);
    std::printf("%s %llu %llu\n", label, static_cast<unsigned long long>(arrived - arrived_),
                static_cast<unsigned long long>(lost - lost_));
    arrived_ = arrived;
    lost_ = lost;
  }

 private:
  void Totals(std::uint64_t& arrived, std::uint64_t& lost) {
    for (auto& robot : robots_) {
      std::lock_guard<std::mutex> lock(robot->mutex);
      arrived += robot->arrived;
      lost += robot->lost;
    }
  }

  std::vector<std::unique_ptr<Robot>>& robots_;
  std::uint64_t arrived_ = 0, lost_ = 0;
};

std::int64_t SinceEpoch(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// Receive-path CPU while `during` runs on this thread: the whole process less
// this thread. Prints "<label> <cpu ns> <wall ns> <basic samples> <start>"
// (start on CLOCK_MONOTONIC, for the concurrent bare process's figures).
template <class Body>
void ReportReceiveCpu(const char* label, const std::atomic<std::uint64_t>& arrivals, Body during) {
  const auto wall0 = Clock::now();
  const std::uint64_t samples0 = arrivals.load();
  const double cpu0 = CpuSeconds(), mine0 = ThreadCpuSeconds();
  during();
  const double cpu = (CpuSeconds() - cpu0) - (ThreadCpuSeconds() - mine0);
  std::printf("%s %.0f %lld %llu %lld\n", label, cpu * 1e9, static_cast<long long>(NanosBetween(wall0, Clock::now())),
              static_cast<unsigned long long>(arrivals.load() - samples0), static_cast<long long>(SinceEpoch(wall0)));
}

// The bare phase runs the same loop with no clients: this thread wakes as
// often in both, so its wake-ups weigh on the other threads alike.
void PollAt100Hz(const std::vector<std::unique_ptr<qrk::Client>>& clients, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  for (auto next = Clock::now(); next < end; next += kPollPeriod) {
    std::this_thread::sleep_until(next);
    for (const auto& client : clients) client->states();
  }
}

// Tight round-robin poll; a pair for every new sample whose bare delay is known.
void PollTight(const std::vector<std::unique_ptr<qrk::Client>>& clients, std::vector<std::unique_ptr<Robot>>& robots,
               int seconds, std::uint64_t& missed, std::uint64_t& polls) {
  std::vector<std::int32_t> last(clients.size(), 0);
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    for (std::size_t i = 0; i < clients.size(); ++i) {
      const auto states = clients[i]->states();
      ++polls;
      if (states.empty()) continue;
      const auto [sequence, sent] = states.begin()->second.timestamp;
      if (sequence == last[i]) continue;
      const std::uint32_t latency = NowLow() - static_cast<std::uint32_t>(sent);
      if (last[i] != 0 && sequence > last[i] + 1) missed += static_cast<std::uint64_t>(sequence - last[i] - 1);
      const bool first = last[i] == 0;
      last[i] = sequence;
      if (first) continue;
      if (const auto bare = robots[i]->delays.Find(static_cast<std::uint32_t>(sequence))) {
        std::printf("pair %u %u\n", *bare, latency);
      }
    }
  }
}

// Two subscribers per robot that only count, where the clients' two were.
void BarePhase(const zenoh::Session& session, const std::vector<std::string>& serials,
               const std::atomic<std::uint64_t>& arrivals, LossCount& losses, int seconds) {
  std::atomic<std::uint64_t> counted{0};
  std::vector<zenoh::Subscriber> bare;
  for (const auto& serial : serials) {
    for (const std::string_view suffix : {mdw::kBasicStreamSuffix, mdw::kExtraStreamSuffix}) {
      bare.emplace_back(session, zenoh::KeyExpr(mdw::RobotKey(serial, suffix)),
                        [&counted](zenoh::ByteView) { counted.fetch_add(1, std::memory_order_relaxed); });
    }
  }
  std::this_thread::sleep_for(kWarmUpTime);
  losses.Report("lost_other");
  ReportReceiveCpu("cpu_bare", arrivals, [&] { PollAt100Hz({}, seconds); });
  losses.Report("lost_bare");
  // The tight poll's share of the machine without the clients: a thread that
  // only spins, for the samples lost to a busy machine rather than to them.
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
  }
  losses.Report("lost_spin");
  std::printf("bare_counted %llu\n", static_cast<unsigned long long>(counted.load()));
}

}  // namespace

int FleetBare(const std::vector<std::string>& serials, int seconds) {
  auto session = mdw::SharedSession();
  std::atomic<std::uint64_t> arrivals{0};
  std::vector<std::unique_ptr<Robot>> robots;
  std::vector<zenoh::Subscriber> subscribers;
  for (const auto& serial : serials) {
    robots.push_back(std::make_unique<Robot>(arrivals));
    subscribers.emplace_back(*session, zenoh::KeyExpr(mdw::RobotKey(serial, mdw::kBasicStreamSuffix)),
                             [robot = robots.back().get()](zenoh::ByteView p) { robot->Take(p); });
    for (const std::string_view suffix : {mdw::kBasicStreamSuffix, mdw::kExtraStreamSuffix}) {
      subscribers.emplace_back(*session, zenoh::KeyExpr(mdw::RobotKey(serial, suffix)), [](zenoh::ByteView) {});
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);
  // Cumulative readings every 100 ms; this thread wakes at 100 Hz like the
  // measured process's poller and its own CPU is left out.
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  const double mine0 = ThreadCpuSeconds(), cpu0 = CpuSeconds();
  std::uint64_t wakes = 0;
  for (auto next = Clock::now(); next < end; next += kPollPeriod) {
    std::this_thread::sleep_until(next);
    if (++wakes % 10 != 0) continue;
    const double cpu = (CpuSeconds() - cpu0) - (ThreadCpuSeconds() - mine0);
    std::printf("tick %lld %.0f %llu\n", static_cast<long long>(SinceEpoch(Clock::now())), cpu * 1e9,
                static_cast<unsigned long long>(arrivals.load()));
    std::fflush(stdout);
  }
  return 0;
}

int Fleet(const std::vector<std::string>& serials, int seconds) {
  auto session = mdw::SharedSession();  // held throughout, so every round's clients join this one
  std::atomic<std::uint64_t> arrivals{0};
  std::printf("threads_base %ld\n", ThreadCount());
  std::uint64_t missed = 0, polls = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::unique_ptr<Robot>> robots;
    for (std::size_t i = 0; i < serials.size(); ++i) robots.push_back(std::make_unique<Robot>(arrivals));
    LossCount losses(robots);
    std::vector<zenoh::Subscriber> stamps;
    for (std::size_t i = 0; i < serials.size(); ++i) {
      stamps.emplace_back(*session, zenoh::KeyExpr(mdw::RobotKey(serials[i], mdw::kBasicStreamSuffix)),
                          [robot = robots[i].get()](zenoh::ByteView p) { robot->Take(p); });
    }
    // Odd rounds measure the bare subscribers first, so that neither side
    // always follows the other; the first round starts with the clients so
    // that their memory is measured on a fresh heap.
    if (round % 2 == 1) BarePhase(*session, serials, arrivals, losses, seconds);
    std::vector<std::unique_ptr<qrk::Client>> clients;
    if (round == 0) std::printf("rss_base %ld\n", ResidentBytes());
    for (std::size_t i = 0; i < serials.size(); ++i) {
      const auto start = Clock::now();
      clients.push_back(Connect(serials[i]));
      std::printf("construct %zu %lld\n", i + 1, static_cast<long long>(NanosBetween(start, Clock::now())));
      if (round == 0) std::printf("rss %zu %ld\n", i + 1, ResidentBytes());
    }
    std::this_thread::sleep_for(kWarmUpTime);
    losses.Report("lost_other");
    ReportReceiveCpu("cpu_client", arrivals, [&] { PollAt100Hz(clients, seconds); });
    losses.Report("lost_clients");
    PollTight(clients, robots, seconds, missed, polls);
    losses.Report("lost_tight");
    std::printf("threads %ld\n", ThreadCount());
    clients.clear();
    if (round % 2 == 0) BarePhase(*session, serials, arrivals, losses, seconds);
    std::fflush(stdout);
  }
  std::printf("missed %llu\npolls %llu\n", static_cast<unsigned long long>(missed),
              static_cast<unsigned long long>(polls));
  return 0;
}

}  // namespace velmor::bench
