// Runs the built executable (or any program) as a child process for black-box
// tests: environment overrides, standard input, captured output, a time limit.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvanta::test {

struct ProcessResult {
  int exitStatus = -1;  // -1 when killed by a signal or the time limit
  std::string standardOutput;
  std::string standardError;
  bool timedOut = false;
};

struct ProcessOptions {
  std::vector<std::string> arguments;              // without argv[0]
  std::map<std::string, std::string> environment;  // added to (or replacing in) ours
  std::vector<std::string> unsetEnvironment;       // removed from ours
  std::string standardInput;
  std::chrono::milliseconds timeLimit{30000};
};

// Runs `program` to completion (or the time limit, then SIGKILL).
ProcessResult runProcess(const std::string& program, const ProcessOptions& options);

// The built corvanta-vault executable.
std::string corvantaBinary();

// A long-running child with pipes, for line-by-line protocol tests.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const ProcessOptions& options);
  ~ChildProcess();  // kills the child if still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int pid() const { return pid_; }
  void write(const std::string& data);
  void closeInput();
  // The next line of standard output without its "\n"; nullopt on end or time-out.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Waits for exit; returns the exit status (-1 for a signal or time-out).
  int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Everything the child wrote on standard error so far (after wait: all of it).
  std::string standardError();
  void signal(int number);

 private:
  void drainError();

  int pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outBuffer_;
  std::string errBuffer_;
  int status_ = -2;
};

}  // namespace corvanta::test
