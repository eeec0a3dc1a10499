// The application object of the tray (or headless) application: owns the
// process's vault store and everything application mode runs, starts them in
// order at launch and stops them at shut-down.
#pragma once

#include <memory>

#include "app/ui_module.h"
#include "platform/paths.h"
#include "platform/settings_store.h"

namespace corvanta {

class KestFileManager;

class AppDelegate : public ApplicationShell {
 public:
  AppDelegate(const Paths& paths, SettingsStore& settings);
  ~AppDelegate() override;

  void applicationDidFinishLaunching(MainLoop& mainLoop) override;
  void applicationWillTerminate() override;

  const std::shared_ptr<KestFileManager>& fileManager() const { return fileManager_; }

 private:
  const Paths& paths_;
  SettingsStore& settings_;
  std::shared_ptr<KestFileManager> fileManager_;
};

}  // namespace corvanta
