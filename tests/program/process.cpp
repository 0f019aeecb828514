#include "tests/program/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

[[noreturn]] void ExecChild(const std::string& program, const RunRequest& request) {
  if (!request.workingDirectory.empty() && chdir(request.workingDirectory.c_str()) != 0) _exit(126);
  constexpr uid_t kNobody = 65534;
  if (request.unprivileged && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
    _exit(126);
  for (const auto& [name, value] : request.environment) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : request.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

// Reads what is there; false at the end of the stream.
bool Drain(int fd, std::string& into) {
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) {
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  // A pseudo-terminal reports EIO once the other side is closed.
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

int StatusOf(int waitStatus) {
  return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

}  // namespace

RunResult RunProcess(const std::string& program, const RunRequest& request) {
  RunResult result;
  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  int terminal = -1;
  pid_t child = -1;
  if (request.terminal) {
    child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0 && !request.outputFile.empty())  // the rest stays on the terminal
      dup2(open(request.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    if (child == 0) ExecChild(program, request);
  } else {
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    child = fork();
    if (child == 0) {
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, STDIN_FILENO);
      int gone[2];
      if (request.readerGone && pipe(gone) == 0 && close(gone[0]) == 0) {
        dup2(gone[1], STDOUT_FILENO);
        signal(SIGPIPE, SIG_DFL);  // as a shell starts a pipeline's programs
      } else if (request.outputFile.empty()) {
        dup2(outPipe[1], STDOUT_FILENO);
      } else {
        const int file = open(request.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file < 0) _exit(126);
        dup2(file, STDOUT_FILENO);
      }
      dup2(errPipe[1], STDERR_FILENO);
      close(outPipe[0]);
      close(errPipe[0]);
      ExecChild(program, request);
    }
    close(outPipe[1]);
    close(errPipe[1]);
  }
  if (child < 0) return result;
  result.started = true;

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(request.timeoutSeconds);
  std::size_t nextAnswer = 0;
  std::size_t nextSignal = 0;
  std::size_t searchFrom = 0;
  std::vector<pollfd> fds;
  if (request.terminal) {
    fds.push_back({terminal, POLLIN, 0});
  } else {
    fds.push_back({outPipe[0], POLLIN, 0});
    fds.push_back({errPipe[0], POLLIN, 0});
  }
  std::string* sinks[2] = {&result.output, &result.error};
  std::size_t open = fds.size();
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      kill(child, SIGKILL);
      break;
    }
    // A signal due after no output at all is sent without waiting for one.
    const long wait =
        nextSignal < request.signals.size() && request.signals[nextSignal].after.empty()
            ? std::min<long>(left.count(), 50)
            : static_cast<long>(left.count());
    const int ready = poll(fds.data(), fds.size(), static_cast<int>(wait));
    if (ready < 0 && errno != EINTR) break;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      if (!Drain(fds[i].fd, *sinks[i])) {
        fds[i].fd = -1;
        --open;
      }
    }
    while (nextSignal < request.signals.size()) {
      const RunRequest::Signal& signal = request.signals[nextSignal];
      if (!Contains(result.output, signal.after) && !Contains(result.error, signal.after)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(signal.delayMs));
      kill(child, signal.number);
      ++nextSignal;
    }
    if (nextAnswer < request.dialogue.size()) {
      const auto& [prompt, answer] = request.dialogue[nextAnswer];
      const std::size_t at = result.output.find(prompt, searchFrom);
      if (at != std::string::npos) {
        if (request.beforeAnswer) request.beforeAnswer(nextAnswer);
        ++nextAnswer;
        searchFrom = at + prompt.size();
        const ssize_t written = write(terminal, answer.data(), answer.size());
        (void)written;
      }
    }
  }
  int waitStatus = 0;
  waitpid(child, &waitStatus, 0);
  result.status = result.timedOut ? -1 : StatusOf(waitStatus);
  if (request.terminal) {
    close(terminal);
  } else {
    close(outPipe[0]);
    close(errPipe[0]);
  }
  return result;
}
