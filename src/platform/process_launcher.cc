#include "platform/process_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

extern char** environ;

namespace corvanta {
namespace {

// Owns the file actions and attributes of one posix_spawn call.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    // The child starts with a clean signal state: the application blocks
    // SIGINT/SIGTERM in its threads (to take them synchronously) and may ignore
    // SIGPIPE, and both would otherwise be inherited across exec, leaving e.g.
    // a file manager that SIGTERM cannot end.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    flags_ = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    posix_spawnattr_setflags(&attributes_, flags_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  void nullStream(int descriptor, int flags) {
    posix_spawn_file_actions_addopen(&actions_, descriptor, "/dev/null", flags, 0);
  }
  void redirect(int from, int to) { posix_spawn_file_actions_adddup2(&actions_, from, to); }
  void newSession() {
    flags_ |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attributes_, flags_);
  }

  // The child's pid, or -1.
  pid_t spawn(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return -1;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions_, &attributes_, argv.data(), environ) != 0) return -1;
    return pid;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  short flags_ = 0;
};

int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

bool PosixProcessLauncher::startDetached(const std::vector<std::string>& arguments) {
  SpawnSetup setup;
  setup.nullStream(STDIN_FILENO, O_RDONLY);
  setup.nullStream(STDOUT_FILENO, O_WRONLY);
  setup.nullStream(STDERR_FILENO, O_WRONLY);
  setup.newSession();
  const pid_t pid = setup.spawn(arguments);
  if (pid < 0) return false;
  // Someone must reap the child so it does not linger as a zombie; a detached
  // thread does, without making the caller wait.
  try {
    std::thread([pid] { waitForExit(pid); }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child stays a zombie until we exit, which is harmless.
  }
  return true;
}

std::optional<std::string> PosixProcessLauncher::runAndCapture(
    const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
  pid_t pid;
  {
    SpawnSetup setup;
    setup.nullStream(STDIN_FILENO, O_RDONLY);
    setup.redirect(pipeEnds[1], STDOUT_FILENO);
    setup.nullStream(STDERR_FILENO, O_WRONLY);
    pid = setup.spawn(arguments);
  }
  ::close(pipeEnds[1]);
  if (pid < 0) {
    ::close(pipeEnds[0]);
    return std::nullopt;
  }
  std::string output;
  char buffer[4096];
  for (;;) {
    ssize_t count = ::read(pipeEnds[0], buffer, sizeof buffer);
    if (count > 0) {
      output.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipeEnds[0]);
  const int status = waitForExit(pid);
  // posix_spawnp reports a missing program only through exit status 127.
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return std::nullopt;
  return output;
}

}  // namespace corvanta
