#include "app/app_delegate.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/analytics.h"
#include "app/login_item.h"
#include "app/stray_servers.h"
#include "http/http_server.h"
#include "platform/process_launcher.h"
#include "support/temp_dir.h"

namespace corvanta {
namespace {

using test::readText;
using test::TempDir;

// Records what would have been started and answers pgrep from a script.
class FakeLauncher : public ProcessLauncher {
 public:
  bool startDetached(const std::vector<std::string>& arguments) override {
    detached.push_back(arguments);
    return true;
  }
  std::optional<std::string> runAndCapture(const std::vector<std::string>& arguments) override {
    captured.push_back(arguments);
    auto answer = answers.find(arguments.back());
    if (answer == answers.end()) return std::nullopt;
    return answer->second;
  }

  std::vector<std::vector<std::string>> detached;
  std::vector<std::vector<std::string>> captured;
  std::map<std::string, std::string> answers;  // by pgrep pattern
};

TEST(LoginItem, WritesAnAutostartEntryThatStartsTheExecutable) {
  TempDir home;
  LoginItem item(home / "config/autostart/corvanta-vault.desktop", "/opt/My Apps/corvanta-vault");
  EXPECT_FALSE(item.isEnabled());
  item.setEnabled(true);
  EXPECT_TRUE(item.isEnabled());
  std::string entry = readText(home / "config/autostart/corvanta-vault.desktop");
  EXPECT_TRUE(entry.starts_with("[Desktop Entry]\nType=Application\n"));
  EXPECT_NE(entry.find("\nExec=\"/opt/My Apps/corvanta-vault\"\n"), std::string::npos);
  item.setEnabled(false);
  EXPECT_FALSE(item.isEnabled());
  item.setEnabled(false);  // removing twice is not an error
}

TEST(LoginItem, QuotesCharactersTheDesktopFormatTreatsSpecially) {
  LoginItem item("/unused", "/a\"b$c`d\\e%f");
  EXPECT_NE(item.desktopEntry().find("Exec=\"/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e%%f\"\n"),
            std::string::npos)
      << item.desktopEntry();
}

TEST(LoginItem, RunningExecutableIsAbsolute) {
  EXPECT_TRUE(runningExecutablePath().starts_with("/"));
}

TEST(StrayServers, ParsesPgrepOutputStrictly) {
  EXPECT_EQ(parseProcessIds("12\n  34 \n\n+56\nabc\n7x\n99999999999\n"),
            (std::vector<pid_t>{12, 34, 56}));
  // Zero and negative ids would address process groups, or every process.
  EXPECT_EQ(parseProcessIds("0\n-1\n-42\n"), std::vector<pid_t>{});
  EXPECT_EQ(parseProcessIds("12\n\xff\n"), std::vector<pid_t>{});
}

TEST(StrayServers, SignalsMatchesOfBothPatternsExceptItself) {
  // Two children that stand for stdio servers.
  pid_t first = ::fork();
  if (first == 0) {
    ::pause();
    ::_exit(0);
  }
  pid_t second = ::fork();
  if (second == 0) {
    ::pause();
    ::_exit(0);
  }
  FakeLauncher launcher;
  launcher.answers[std::string(kStrayServerPatterns[0])] =
      std::to_string(first) + "\n" + std::to_string(::getpid()) + "\n";
  launcher.answers[std::string(kStrayServerPatterns[1])] = std::to_string(second) + "\n";

  std::vector<pid_t> signalled = terminateStrayServers(launcher, ::getpid());
  EXPECT_EQ(signalled, (std::vector<pid_t>{first, second}));
  ASSERT_EQ(launcher.captured.size(), 2u);
  EXPECT_EQ(launcher.captured[0],
            (std::vector<std::string>{"pgrep", "-f", "([Cc]orvanta|[Kk]est)[ -][Vv]ault.*--mcp"}));
  EXPECT_EQ(launcher.captured[1][2], "disclaimer.*([Cc]orvanta|[Kk]est)[ -][Vv]ault");
  for (pid_t child : {first, second}) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  }
}

TEST(StrayServers, PgrepThatCannotStartSignalsNothing) {
  FakeLauncher launcher;  // no answers: every run fails
  EXPECT_TRUE(terminateStrayServers(launcher, ::getpid()).empty());
}

TEST(PosixProcessLauncher, CapturesOutputAndReportsMissingPrograms) {
  PosixProcessLauncher launcher;
  EXPECT_EQ(launcher.runAndCapture({"printf", "a\\nb"}), "a\nb");
  EXPECT_EQ(launcher.runAndCapture({"false"}), "");  // exit status does not matter
  EXPECT_EQ(launcher.runAndCapture({"corvanta-no-such-program"}), std::nullopt);
  EXPECT_FALSE(launcher.startDetached({"corvanta-no-such-program"}));
}

TEST(PosixProcessLauncher, DetachedProgramRunsWithoutBeingAwaited) {
  TempDir dir;
  PosixProcessLauncher launcher;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(launcher.startDetached({"sh", "-c", "sleep 0.3; touch \"$0\"", dir / "done"}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
  for (int i = 0; i < 100 && !std::filesystem::exists(dir / "done"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "done"));
}

TEST(PosixProcessLauncher, ChildStartsWithDefaultSignalHandling) {
  // The application blocks SIGTERM in its threads and may ignore SIGPIPE; a
  // child must not inherit either.
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  auto oldPipe = ::signal(SIGPIPE, SIG_IGN);
  PosixProcessLauncher launcher;
  std::optional<std::string> status =
      launcher.runAndCapture({"grep", "-E", "^Sig(Blk|Ign)", "/proc/self/status"});
  ::signal(SIGPIPE, oldPipe);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ASSERT_TRUE(status);
  auto maskOf = [&](const std::string& field) {
    size_t at = status->find(field + ":\t");
    return at == std::string::npos
               ? ~0ull
               : std::stoull(status->substr(at + field.size() + 2), nullptr, 16);
  };
  EXPECT_EQ(maskOf("SigBlk") & (1ull << (SIGTERM - 1)), 0u) << *status;
  EXPECT_EQ(maskOf("SigIgn") & (1ull << (SIGPIPE - 1)), 0u) << *status;
}

// A main loop that runs posted work when asked.
class ManualLoop : public MainLoop {
 public:
  void post(std::function<void()> work) override { posted.push_back(std::move(work)); }
  void postDelayed(std::chrono::milliseconds, std::function<void()> work) override {
    posted.push_back(std::move(work));
  }
  void quit() override {}
  std::vector<std::function<void()>> posted;
};

class AppDelegateTest : public ::testing::Test {
 protected:
  AppDelegateTest()
      : paths_(home_.path(), home_ / "config", home_ / "data"), settings_(paths_.settingsFile()) {
    settings_.set("vaultRootPath", home_ / "vault");
  }

  std::unique_ptr<AppDelegate> makeDelegate(std::function<void()> recordLaunch = nullptr) {
    return std::make_unique<AppDelegate>(
        paths_, settings_,
        AppDelegate::Services{.analytics = analytics_,
                              .launcher = launcher_,
                              .recordLaunch = std::move(recordLaunch),
                              .httpPort = 0,
                              .executable = "/usr/bin/corvanta-vault"});
  }

  TempDir home_;
  Paths paths_;
  SettingsStore settings_;
  NoAnalytics analytics_;
  FakeLauncher launcher_;
  ManualLoop loop_;
};

TEST_F(AppDelegateTest, LaunchEnablesLoginItemRecordsLaunchAndStartsServer) {
  int launches = 0;
  auto delegate = makeDelegate([&] { ++launches; });
  EXPECT_EQ(delegate->httpServer(), nullptr);
  delegate->applicationDidFinishLaunching(loop_);
  EXPECT_EQ(launches, 1);
  EXPECT_NE(readText(paths_.autostartFile()).find("Exec=\"/usr/bin/corvanta-vault\""),
            std::string::npos);
  ASSERT_NE(delegate->httpServer(), nullptr);
  delegate->applicationWillTerminate();
  EXPECT_EQ(delegate->httpServer(), nullptr);
  // Shut-down looked for stray servers with both patterns.
  EXPECT_EQ(launcher_.captured.size(), 2u);
}

TEST_F(AppDelegateTest, LoginItemTurnedOffIsTurnedOnAgainAtLaunch) {
  auto delegate = makeDelegate();
  delegate->setLaunchAtLogin(false);
  EXPECT_FALSE(std::filesystem::exists(paths_.autostartFile()));
  delegate->applicationDidFinishLaunching(loop_);
  EXPECT_TRUE(std::filesystem::exists(paths_.autostartFile()));
  delegate->applicationWillTerminate();
}

TEST_F(AppDelegateTest, LoginItemFailureIsPrintedNotThrown) {
  // A file where the autostart folder should be makes the write fail.
  test::writeText(home_ / "config/autostart", "not a folder");
  auto delegate = makeDelegate();
  testing::internal::CaptureStdout();
  delegate->setLaunchAtLogin(true);
  EXPECT_TRUE(
      testing::internal::GetCapturedStdout().starts_with("Failed to enable launch at login: "));
}

}  // namespace
}  // namespace corvanta
