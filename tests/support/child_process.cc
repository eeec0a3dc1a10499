#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace corvanta::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> buildEnvironment(const ProcessOptions& options) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string text(*entry);
    auto equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& name : options.unsetEnvironment) merged.erase(name);
  for (const auto& [name, value] : options.environment) merged[name] = value;
  std::vector<std::string> result;
  for (const auto& [name, value] : merged) result.push_back(name + "=" + value);
  return result;
}

int spawn(const std::string& program, const ProcessOptions& options, int& in, int& out, int& err) {
  int inPipe[2], outPipe[2], errPipe[2];
  if (::pipe2(inPipe, O_CLOEXEC) || ::pipe2(outPipe, O_CLOEXEC) || ::pipe2(errPipe, O_CLOEXEC)) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> env = buildEnvironment(options);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = {program};
  args.insert(args.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(inPipe[0], 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  in = inPipe[1];
  out = outPipe[0];
  err = errPipe[0];
  ::signal(SIGPIPE, SIG_IGN);
  return pid;
}

int decodeStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

std::string corvantaBinary() { return CORVANTA_BINARY; }

ProcessResult runProcess(const std::string& program, const ProcessOptions& options) {
  ChildProcess child(program, options);
  if (!options.standardInput.empty()) child.write(options.standardInput);
  child.closeInput();
  ProcessResult result;
  // Collect all standard output while waiting.
  const auto deadline = Clock::now() + options.timeLimit;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      break;
    }
    auto line = child.readLine(left);
    if (!line) break;
    result.standardOutput += *line;
    result.standardOutput += '\n';
  }
  result.exitStatus =
      child.wait(result.timedOut ? std::chrono::milliseconds(0) : std::chrono::milliseconds(5000));
  // readLine() returns whole lines only; what remains is output without a final "\n".
  result.standardOutput += child.readLine(std::chrono::milliseconds(0)).value_or("");
  result.standardError = child.standardError();
  return result;
}

ChildProcess::ChildProcess(const std::string& program, const ProcessOptions& options) {
  pid_ = spawn(program, options, in_, out_, err_);
}

ChildProcess::~ChildProcess() {
  if (status_ == -2 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : {in_, out_, err_}) {
    if (fd >= 0) ::close(fd);
  }
}

void ChildProcess::write(const std::string& data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(in_, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void ChildProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

void ChildProcess::drainError() {
  if (err_ < 0) return;
  for (;;) {
    pollfd p{err_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    char buffer[4096];
    ssize_t n = ::read(err_, buffer, sizeof buffer);
    if (n <= 0) {
      ::close(err_);
      err_ = -1;
      return;
    }
    errBuffer_.append(buffer, static_cast<size_t>(n));
  }
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    auto newline = outBuffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = outBuffer_.substr(0, newline);
      outBuffer_.erase(0, newline + 1);
      return line;
    }
    if (out_ < 0) {
      if (outBuffer_.empty()) return std::nullopt;
      if (timeout.count() == 0) {  // hand over a final unterminated piece
        std::string rest = std::move(outBuffer_);
        outBuffer_.clear();
        return rest;
      }
      return std::nullopt;
    }
    drainError();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0) left = std::chrono::milliseconds(0);
    pollfd p{out_, POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 50)));
    if (ready <= 0) {
      if (Clock::now() >= deadline) return std::nullopt;
      continue;
    }
    char buffer[65536];
    ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      ::close(out_);
      out_ = -1;
      continue;
    }
    outBuffer_.append(buffer, static_cast<size_t>(n));
  }
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (status_ != -2) return status_;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = decodeStatus(status);
      break;
    }
    drainError();
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      status_ = -1;
      break;
    }
    ::usleep(2000);
  }
  // Collect the rest of standard error.
  while (err_ >= 0) {
    char buffer[4096];
    ssize_t n = ::read(err_, buffer, sizeof buffer);
    if (n <= 0) {
      ::close(err_);
      err_ = -1;
    } else {
      errBuffer_.append(buffer, static_cast<size_t>(n));
    }
  }
  return status_;
}

std::string ChildProcess::standardError() {
  drainError();
  return errBuffer_;
}

void ChildProcess::signal(int number) {
  if (pid_ > 0 && status_ == -2) ::kill(pid_, number);
}

}  // namespace corvanta::test
