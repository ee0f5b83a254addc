#include "app/game_location.h"

namespace corvaldo {

GameLocation FindGameLocation(bool, const std::vector<std::string>&) {
  return {MakePlatformRegistry(), MakePlatformFileSystem(), std::nullopt};
}

}  // namespace corvaldo
