#pragma once
// Shared pieces of the endurance tests: the simulator as a process on the
// other host that can be killed and restarted, long-run settings read from
// the environment (short forms by default, scripts/soak sets the long ones),
// the resident memory of this process, a watchdog against hangs, and the
// consistency rules a stream result must meet.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.hpp"
#include "support/connect.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::test {

/// A whole number from the environment, or `fallback` when unset or empty.
inline long EnvCount(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::stol(text);
}

/// Memory checks need a plain allocator: a sanitizer's quarantine and shadow
/// memory grow the resident size on their own. Leaks are LSan's job there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

/// Resident set size of this process, in bytes.
inline long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long total = 0, resident = 0;
  statm >> total >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

/// qrk-sim on the other host of scripts/netns-run --peer; SIGKILLed on
/// destruction if still running.
class SimProcess {
 public:
  SimProcess(const std::string& serial, std::vector<std::string> options, double duration_s) {
    std::vector<std::string> argv{QRK_SIM_PATH, "--serial", serial, "--duration",
                                  std::to_string(static_cast<long>(duration_s))};
    argv.insert(argv.end(), options.begin(), options.end());
    child_ = std::make_unique<ChildProcess>(OnPeerHost(std::move(argv)));
    ready_ = child_->ReadLine(std::chrono::seconds(20)) == std::optional<std::string>("ready");
  }
  bool ready() const { return ready_; }
  void Kill() { child_->Kill(); }
  /// SIGINT and the wait for a clean exit; false if it did not exit in time.
  bool Stop() {
    child_->Signal(SIGINT);
    return child_->Wait(std::chrono::seconds(15)).has_value();
  }

 private:
  std::unique_ptr<ChildProcess> child_;
  bool ready_ = false;
};

/// Aborts the process with a message unless destroyed within `limit`: a hang
/// in a destructor or a query must fail the run rather than stall it.
class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds limit)
      : thread_([this, what = std::move(what), limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_condition_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "WATCHDOG: %s did not finish within %lld s\n", what.c_str(),
                         static_cast<long long>(limit.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_condition_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_condition_;
  bool done_ = false;
  std::thread thread_;
};

/// Why a result of states() or actions() of qrk-sim's default robot (groups
/// ALL, ARMS, ARM_1, ARM_2, EXT_AXIS over 16 joints) cannot come from a single
/// sample; empty when it is consistent. `joints` picks the joint vector
/// compared across groups (q for states, q_d for actions).
template <class Record, class Joints>
std::string Inconsistency(const std::map<qrk::JointGroup, Record>& result, Joints joints) {
  using qrk::JointGroup;
  if (result.size() != 5) return "expected 5 groups, got " + std::to_string(result.size());
  const auto stamp = result.begin()->second.timestamp;
  for (const auto& [group, record] : result) {
    if (record.timestamp != stamp) return "groups carry different time stamps";
  }
  const auto& all = joints(result.at(JointGroup::ALL));
  const auto& arms = joints(result.at(JointGroup::ARMS));
  const auto& arm1 = joints(result.at(JointGroup::ARM_1));
  const auto& arm2 = joints(result.at(JointGroup::ARM_2));
  const auto& ext = joints(result.at(JointGroup::EXT_AXIS));
  if (all.size() != 16 || arms.size() != 14 || arm1.size() != 7 || arm2.size() != 7 || ext.size() != 2) {
    return "joint vectors of the wrong length";
  }
  for (std::size_t i = 0; i < 7; ++i) {
    if (arm1[i] != arms[i] || arm2[i] != arms[7 + i]) return "ARM_1/ARM_2 differ from ARMS";
  }
  for (std::size_t i = 0; i < 14; ++i) {
    if (arms[i] != all[i]) return "ARMS differs from ALL";
  }
  if (ext[0] != all[14] || ext[1] != all[15]) return "EXT_AXIS differs from ALL";
  return {};
}

inline std::string StatesInconsistency(const std::map<qrk::JointGroup, qrk::RobotStates>& states) {
  return Inconsistency(states, [](const qrk::RobotStates& s) -> const std::vector<double>& { return s.q; });
}

inline std::string ActionsInconsistency(const std::map<qrk::JointGroup, qrk::RobotActions>& actions) {
  return Inconsistency(actions, [](const qrk::RobotActions& a) -> const std::vector<double>& { return a.q_d; });
}

}  // namespace velmor::test
