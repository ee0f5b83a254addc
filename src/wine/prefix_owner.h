// Linux only: a run as root on another user's prefix acts with that user's
// rights. Wine refuses a prefix its caller does not own; a root run that
// followed the owner's links with root's rights could be led to any file.
#pragma once

#include <sys/types.h>

#include <string>

namespace corvaldo {

struct OwnerRights {
  bool taken = false;  // the process now runs as the owner
  uid_t owner = 0;
  // Set when they could not be taken: the call that failed and its errno.
  const char* failedCall = nullptr;
  int error = 0;
};

// When the process's effective user is root and `prefix` (its links
// followed) belongs to another user, takes that user's uid, gid and
// supplementary groups (theirs by the user database, else the prefix's
// group alone) for good: real, effective and saved ids alike. Nothing
// otherwise, nor for a prefix that is not there. Call it before any file
// of the prefix is opened.
OwnerRights TakePrefixOwnerRights(const std::string& prefix);

}  // namespace corvaldo
