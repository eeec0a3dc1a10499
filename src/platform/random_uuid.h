// Random (version 4) UUIDs from the kernel's cryptographically secure generator,
// for ids that must not be guessable or collide: the installation's analytics id,
// the relay connector's user id.
#pragma once

#include <string>

namespace corvanta {

// Canonical upper-case text: 36 characters, hyphens at 8-4-4-4-12.
std::string randomUuid();

}  // namespace corvanta
