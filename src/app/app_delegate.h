// The application object of the tray (or headless) application: owns the
// process's vault store and everything application mode runs, starts them in
// order at launch and stops them at shut-down.
//
// Start-up, on the main loop: the login item, the launch analytics, (the status
// item and panel, and the relay, once they exist), the HTTP server, then — on a
// start-up thread, so the main loop is never held up by binding or by reading
// the graph — the server's start followed by the knowledge graph's first load,
// (then the welcome window and the update check).
//
// Shut-down, on the main loop's thread after the loop has ended: the listener is
// cancelled, requests already being answered finish, and the stdio MCP servers
// started from this executable are sent SIGTERM.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "app/login_item.h"
#include "app/ui_module.h"
#include "platform/paths.h"
#include "platform/settings_store.h"

namespace corvanta {

class Analytics;
class HTTPServer;
class HttpRoutes;
class KestFileManager;
class ProcessLauncher;

class AppDelegate : public ApplicationShell {
 public:
  // What the delegate uses but does not own.
  struct Services {
    Analytics& analytics;
    ProcessLauncher& launcher;
    // Sends the launch events ("vault_app_installed" once, "vault_app_launched").
    std::function<void()> recordLaunch;
    uint16_t httpPort = 7421;
    // The program the login item starts; the running executable when empty.
    std::string executable;
  };

  AppDelegate(const Paths& paths, SettingsStore& settings, Services services);
  ~AppDelegate() override;
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  void applicationDidFinishLaunching(MainLoop& mainLoop) override;
  void applicationWillTerminate() override;

  // Writes or removes the login item; a failure is printed, never thrown.
  void setLaunchAtLogin(bool enabled);

  const std::shared_ptr<KestFileManager>& fileManager() const { return fileManager_; }
  // Absent until launch has finished, and again after shut-down.
  HTTPServer* httpServer() const { return httpServer_.get(); }

 private:
  void startHttpServer(MainLoop& mainLoop);
  // Waits for the start-up thread, so nothing it touches goes away under it.
  void joinStartup();

  const Paths& paths_;
  SettingsStore& settings_;
  Services services_;
  LoginItem loginItem_;
  std::shared_ptr<KestFileManager> fileManager_;
  std::unique_ptr<HttpRoutes> routes_;
  std::unique_ptr<HTTPServer> httpServer_;
  std::thread startup_;
};

}  // namespace corvanta
