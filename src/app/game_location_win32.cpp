#include "app/game_location.h"

namespace corvaldo {

// No dry run here: every argument follows the switch rules.
GameLocation FindGameLocation(bool, bool, const std::vector<std::string>&, const std::string&) {
  return {MakePlatformRegistry(), MakePlatformFileSystem(), std::nullopt, {}, {}};
}

}  // namespace corvaldo
