#include "platform/app_version.h"

#include "build_config.h"

namespace corvanta {

std::string appVersion() {
  std::string version = CORVANTA_APP_VERSION;
  return version.empty() ? "0.0.0" : version;
}

}  // namespace corvanta
