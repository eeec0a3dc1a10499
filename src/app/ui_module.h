// The boundary between the executable and the Qt tray module. Application mode
// loads the module with dlopen only when a graphical session exists, so the MCP
// server and the hook never map the GUI toolkit. Only abstract interfaces cross
// the boundary: the module needs no symbols from the executable.
#pragma once

#include "platform/main_loop.h"

namespace corvanta {

// Implemented by the executable's application object; called on the main loop.
class ApplicationShell {
 public:
  virtual ~ApplicationShell() = default;
  // Start-up, once the loop exists (posted work runs once the loop is running).
  virtual void applicationDidFinishLaunching(MainLoop& mainLoop) = 0;
  // Shut-down, after the loop has ended and before the process exits.
  virtual void applicationWillTerminate() = 0;
};

// Exported by the module under this name. Runs the GUI event loop and returns the
// exit status, or kUiUnavailable when no GUI could start (the caller then runs
// headless). SIGINT and SIGTERM end the loop normally.
inline constexpr const char* kUiEntryPoint = "corvanta_ui_main";
inline constexpr int kUiUnavailable = -1;
using UiEntryFunction = int (*)(int argc, char** argv, ApplicationShell* shell);

}  // namespace corvanta
