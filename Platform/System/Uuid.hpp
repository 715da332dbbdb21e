#pragma once

#include <string>

namespace platform {

/// A new random (version 4) UUID in canonical upper-case form, 36 characters.
std::string makeUuidString();

}  // namespace platform
