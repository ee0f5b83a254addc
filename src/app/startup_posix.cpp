#include "app/startup.h"

namespace corvaldo {

// The dynamic loader here has no current-folder search to switch off.
void HardenDllSearch() {}

}  // namespace corvaldo
