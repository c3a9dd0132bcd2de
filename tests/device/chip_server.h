// A qt70chip server process for the tests: started on a temporary ports
// folder, waited for until it says it is serving, stopped (or killed) and
// reaped with bounded waits.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace qt70::test {

class ChipServer {
 public:
  ChipServer() = default;
  ChipServer(const ChipServer&) = delete;
  ChipServer& operator=(const ChipServer&) = delete;
  ~ChipServer() { Stop(); }

  // Starts `qt70chip --port PORT --image IMAGE --ports-dir DIR --create
  // [--fault F]...` and waits up to `timeoutMs` for its "serving" line.
  bool Start(const std::string& dir, const std::string& port, const std::string& image,
             const std::vector<std::string>& faults = {}, int timeoutMs = 10000) {
    std::vector<std::string> args = {QT70_BIN_DIR "/qt70chip", "--port", port, "--image", image,
                                     "--ports-dir", dir, "--create"};
    for (const std::string& f : faults) {
      args.push_back("--fault");
      args.push_back(f);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
      // The server ends with the test, even when the test crashes.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      dup2(out[1], STDOUT_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    if (m_pid < 0) {
      close(out[0]);
      m_pid = -1;
      output = "cannot start qt70chip";
      return false;
    }
    m_out = out[0];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string want = "qt70chip: serving " + port + " at ";
    while (output.find(want) == std::string::npos || output.find('\n', output.find(want)) ==
                                                         std::string::npos) {
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now())
                                      .count());
      if (left <= 0) break;
      pollfd p{m_out, POLLIN, 0};
      if (poll(&p, 1, left) <= 0) continue;
      char buffer[256];
      ssize_t n = read(m_out, buffer, sizeof buffer);
      if (n <= 0) break;  // the server ended before serving
      output.append(buffer, static_cast<size_t>(n));
    }
    if (output.find(want) == std::string::npos) {
      Kill();
      return false;
    }
    return true;
  }

  // SIGTERM and a wait of at most 5 s, then SIGKILL. Returns the exit status
  // (-1 when it had to be killed or was not running).
  int Stop() { return End(SIGTERM); }
  // SIGKILL at once, as a pulled plug or a crash would end it.
  void Kill() { End(SIGKILL); }
  bool Running() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }

  std::string output;

 private:
  int End(int signal) {
    int result = -1;
    if (m_pid > 0) {
      kill(m_pid, signal);
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      int status = 0;
      pid_t done = 0;
      while ((done = waitpid(m_pid, &status, WNOHANG)) == 0 &&
             std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (done == 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
      } else if (done == m_pid && WIFEXITED(status)) {
        result = WEXITSTATUS(status);
      }
      m_pid = -1;
    }
    if (m_out >= 0) close(m_out);
    m_out = -1;
    return result;
  }

  pid_t m_pid = -1;
  int m_out = -1;
};

}  // namespace qt70::test
