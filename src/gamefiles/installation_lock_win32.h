// The installation's lock on Windows: a named mutex from the folder's identity.
#pragma once

#include <chrono>
#include <string>

#include "gamefiles/file_system.h"

namespace corvaldo {

// Takes the mutex of the installation in `installDir`, waiting at most `wait`
// for another run to let it go; one whose holder died counts as taken.
LockResult LockInstallationMutex(const std::string& installDir, std::chrono::milliseconds wait);

}  // namespace corvaldo
