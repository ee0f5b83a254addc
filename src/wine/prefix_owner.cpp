#include "wine/prefix_owner.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace corvaldo {

OwnerRights TakePrefixOwnerRights(const std::string& prefix) {
  OwnerRights rights;
  struct stat st;
  if (geteuid() != 0 || stat(prefix.c_str(), &st) != 0 || st.st_uid == 0) return rights;
  rights.owner = st.st_uid;
  const auto fail = [&rights](const char* call) {
    rights.failedCall = call;
    rights.error = errno;
    return rights;
  };
  gid_t gid = st.st_gid;
  errno = 0;
  if (const passwd* user = getpwuid(st.st_uid); user != nullptr) {
    gid = user->pw_gid;
    if (initgroups(user->pw_name, gid) != 0) return fail("initgroups");
  } else if (setgroups(1, &gid) != 0) {
    return fail("setgroups");
  }
  // The group first: once the user is no longer root, it could not be changed.
  if (setresgid(gid, gid, gid) != 0) return fail("setresgid");
  if (setresuid(st.st_uid, st.st_uid, st.st_uid) != 0) return fail("setresuid");
  uid_t real, effective, saved;
  if (getresuid(&real, &effective, &saved) != 0 || real != st.st_uid || effective != st.st_uid ||
      saved != st.st_uid) {
    errno = EPERM;
    return fail("getresuid");
  }
  rights.taken = true;
  return rights;
}

}  // namespace corvaldo
