#pragma once
// A child process with its stdout readable line by line, killed on
// destruction if still running. Tests use it to run a zenoh peer in a
// separate process.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velmor::test {

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// The next line of the child's stdout, or nothing at end of file or deadline.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  /// Waits for exit; the exit code, or nothing if it did not exit in time.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  void Kill();
  /// Sends `signal` if the child still runs.
  void Signal(int signal);
  pid_t pid() const noexcept { return pid_; }

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::string buffer_;
  std::optional<int> exit_code_;
};

/// Path of the test peer program built beside the tests.
std::string TestPeerPath();

/// `argv` to run on the other host of scripts/netns-run --peer; unchanged
/// when the tests run without a peer namespace.
std::vector<std::string> OnPeerHost(std::vector<std::string> argv);

}  // namespace velmor::test
