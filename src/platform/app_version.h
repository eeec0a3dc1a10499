// The application's version string, compiled in from the build's project version.
#pragma once

#include <string>

namespace corvanta {

// Never empty; "0.0.0" would only appear for a build without a version.
std::string appVersion();

}  // namespace corvanta
