#pragma once
// qrk-sim started on the other host of scripts/netns-run --peer (or beside
// the test when there is no peer namespace), stopped on destruction.
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.hpp"

namespace velmor::test {

class SimulatedRobot {
 public:
  explicit SimulatedRobot(const std::string& serial, std::vector<std::string> options = {})
      : child_(Command(serial, std::move(options))) {
    ready_ = child_.ReadLine(std::chrono::seconds(20)) == std::optional<std::string>("ready");
  }
  ~SimulatedRobot() { Stop(); }
  SimulatedRobot(const SimulatedRobot&) = delete;
  SimulatedRobot& operator=(const SimulatedRobot&) = delete;

  bool ready() const { return ready_; }
  void Stop() {
    child_.Signal(SIGINT);
    if (!child_.Wait(std::chrono::seconds(15))) child_.Kill();
  }

 private:
  static std::vector<std::string> Command(const std::string& serial, std::vector<std::string> options) {
    std::vector<std::string> argv{QRK_SIM_PATH, "--serial", serial, "--rate", "500", "--duration", "120"};
    argv.insert(argv.end(), options.begin(), options.end());
    return OnPeerHost(std::move(argv));
  }

  ChildProcess child_;
  bool ready_ = false;
};

}  // namespace velmor::test
