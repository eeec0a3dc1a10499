#include "app/app_delegate.h"

#include <unistd.h>

#include "app/analytics.h"
#include "app/stray_servers.h"
#include "http/http_routes.h"
#include "http/http_server.h"
#include "platform/diagnostics.h"
#include "platform/process_launcher.h"
#include "vault/kest_file_manager.h"

namespace corvanta {

AppDelegate::AppDelegate(const Paths& paths, SettingsStore& settings, Services services)
    : paths_(paths),
      settings_(settings),
      services_(std::move(services)),
      loginItem_(paths.autostartFile(),
                 services_.executable.empty() ? runningExecutablePath() : services_.executable),
      fileManager_(KestFileManager::create(std::nullopt, settings, paths)) {}

AppDelegate::~AppDelegate() {
  joinStartup();
  httpServer_.reset();  // before the routes it calls into
}

void AppDelegate::applicationDidFinishLaunching(MainLoop& mainLoop) {
  // Every launch turns the login item back on, as the user agreed to at install.
  if (!loginItem_.isEnabled()) setLaunchAtLogin(true);
  if (services_.recordLaunch) services_.recordLaunch();
  // The status item, the panel and the relay start here once the tray exists.
  startHttpServer(mainLoop);
  // The welcome window and the update check follow here once they exist.
}

void AppDelegate::startHttpServer(MainLoop& mainLoop) {
  ProcessLauncher& launcher = services_.launcher;
  // Opening a window belongs to the main loop; the request is answered at once.
  auto openFolder = [&mainLoop, &launcher](const std::string& folder) {
    mainLoop.post([&launcher, folder] { launcher.startDetached({"xdg-open", folder}); });
  };
  routes_ = std::make_unique<HttpRoutes>(fileManager_, services_.analytics, openFolder);
  httpServer_ = std::make_unique<HTTPServer>(
      [routes = routes_.get()](const HttpRequest& request) { return routes->route(request); },
      services_.httpPort);
  startup_ = std::thread([this] {
    try {
      httpServer_->start();
      fileManager_->loadGraph();  // also moves a graph file left in the vault root
    } catch (const std::exception& error) {
      printDiagnostic(std::string("Start-up failed: ") + error.what());
    } catch (...) {
      // Nothing may leave this thread; the application runs on without the API.
    }
  });
}

void AppDelegate::applicationWillTerminate() {
  joinStartup();
  if (httpServer_) {
    httpServer_->cancel();
    // Answers already being written finish before the server goes away.
    httpServer_.reset();
  }
  terminateStrayServers(services_.launcher, ::getpid());
}

void AppDelegate::setLaunchAtLogin(bool enabled) {
  try {
    loginItem_.setEnabled(enabled);
  } catch (const std::exception& error) {
    printDiagnostic(std::string("Failed to ") + (enabled ? "enable" : "disable") +
                    " launch at login: " + error.what());
  }
}

void AppDelegate::joinStartup() {
  if (startup_.joinable()) startup_.join();
}

}  // namespace corvanta
