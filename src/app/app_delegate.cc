#include "app/app_delegate.h"

#include "vault/kest_file_manager.h"

namespace corvanta {

AppDelegate::AppDelegate(const Paths& paths, SettingsStore& settings)
    : paths_(paths),
      settings_(settings),
      fileManager_(KestFileManager::create(std::nullopt, settings, paths)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(MainLoop&) {}

void AppDelegate::applicationWillTerminate() {}

}  // namespace corvanta
