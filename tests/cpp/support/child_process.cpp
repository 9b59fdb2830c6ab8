#include "support/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace velmor::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A test that dies without its destructors (a sanitizer's halt, a crash)
    // must not leave its robot running: the child's stderr is the test's, so
    // ctest would wait on it for as long as the child lives.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    // The tests stop their programs with SIGINT, as from a terminal, and the
    // programs keep a signal ignored that they start with ignored: a test run
    // started as a background job or under nohup must not pass that on.
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  stdout_fd_ = fds[0];
}

ChildProcess::~ChildProcess() {
  Kill();
  if (stdout_fd_ >= 0) close(stdout_fd_);
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const auto newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd pfd{stdout_fd_, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t n = read(stdout_fd_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (exit_code_) return exit_code_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exit_code_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

void ChildProcess::Kill() {
  if (pid_ > 0 && !exit_code_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    exit_code_ = 128 + SIGKILL;
  }
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !exit_code_) kill(pid_, signal);
}

std::string TestPeerPath() { return VELMOR_TEST_PEER_PATH; }

std::vector<std::string> OnPeerHost(std::vector<std::string> argv) {
  const char* peer = std::getenv("VELMOR_PEER_NETNS");
  if (peer == nullptr || *peer == '\0') return argv;
  // `ip netns exec` execs the command, so the child's pid stays the command's.
  argv.insert(argv.begin(), {"/usr/sbin/ip", "netns", "exec", peer});
  return argv;
}

}  // namespace velmor::test
