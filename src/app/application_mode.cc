#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "app/app_delegate.h"
#include "app/event_reporter.h"
#include "app/headless_main_loop.h"
#include "app/run_modes.h"
#include "app/ui_module.h"
#include "platform/diagnostics.h"
#include "platform/process_launcher.h"

namespace corvanta {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The GUI toolkit aborts the process when it cannot reach the display, so the
// display's socket is looked for first. Remote X displays ("host:0") are trusted.
bool hasGraphicalSession() {
  const std::string wayland = environment("WAYLAND_DISPLAY");
  if (!wayland.empty()) {
    const std::string socket =
        wayland.front() == '/' ? wayland : environment("XDG_RUNTIME_DIR") + "/" + wayland;
    if (::access(socket.c_str(), F_OK) == 0) return true;
  }
  const std::string display = environment("DISPLAY");
  if (display.empty()) return false;
  if (display.front() != ':') return true;
  const std::string number = display.substr(1, display.find('.') - 1);
  return ::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0;
}

std::string executableFolder() {
  char buffer[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/'));
}

// Runs the tray front end; kUiUnavailable when the module or the GUI is missing.
int runWithUi(int argc, char** argv, ApplicationShell& shell) {
  const std::string module = executableFolder() + "/corvanta-vault-ui.so";
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return kUiUnavailable;
  auto entry = reinterpret_cast<UiEntryFunction>(::dlsym(handle, kUiEntryPoint));
  if (!entry) return kUiUnavailable;
  return entry(argc, argv, &shell);  // the module stays loaded until exit
}

int runHeadless(ApplicationShell& shell) {
  HeadlessMainLoop loop;
  loop.quitOnTerminationSignals();
  loop.post([&] { shell.applicationDidFinishLaunching(loop); });
  loop.run();
  shell.applicationWillTerminate();
  return 0;
}

}  // namespace

int runApplicationMode(const Paths& paths, SettingsStore& settings, int argc, char** argv) {
  EventReporter analytics(settings);
  PosixProcessLauncher launcher;
  AppDelegate delegate(paths, settings,
                       AppDelegate::Services{.analytics = analytics,
                                             .launcher = launcher,
                                             .recordLaunch = [&] { analytics.recordLaunch(); },
                                             .httpPort = 7421,
                                             .executable = ""});
  if (hasGraphicalSession()) {
    int status = runWithUi(argc, argv, delegate);
    if (status != kUiUnavailable) return status;
    printDiagnostic("No usable graphical session: running headless");
  }
  return runHeadless(delegate);
}

}  // namespace corvanta
