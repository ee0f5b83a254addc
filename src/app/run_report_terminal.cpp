// Linux: the report at the end of a run, on stderr with the other messages.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/run_report.h"
#include "ui/terminal_dialog.h"

namespace corvaldo {
namespace {

void Print(const std::string& utf8) {
  std::fputs(utf8.c_str(), stderr);
  std::fflush(stderr);
}

// A mount point or source as /proc/self/mountinfo writes it: space, tab,
// newline and backslash as octal escapes.
std::string Unescaped(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

struct Mount {
  std::string type;
  std::string source;
  std::string device;  // "major:minor"
};

// The mount that holds `path`, or the nearest of its folders that exists:
// of the mounts whose point leads to it, the last one mounted there.
std::optional<Mount> MountOf(const std::string& path) {
  std::string place;
  for (std::string at = path;;) {
    if (char* real = realpath(at.c_str(), nullptr)) {
      place = real;
      std::free(real);
      break;
    }
    const std::size_t slash = at.rfind('/');
    if (slash == std::string::npos || at == "/") return std::nullopt;
    at = slash == 0 ? std::string("/") : at.substr(0, slash);
  }

  std::ifstream mountinfo("/proc/self/mountinfo");
  std::optional<Mount> found;
  std::size_t longest = 0;
  std::string line;
  while (std::getline(mountinfo, line)) {
    // id parent major:minor root point options [optional...] - type source super
    std::istringstream fields(line);
    std::string id, parent, device, root, point, options, field;
    if (!(fields >> id >> parent >> device >> root >> point >> options)) continue;
    while (fields >> field && field != "-") {
    }
    Mount mount{{}, {}, device};
    if (!(fields >> mount.type >> mount.source)) continue;
    point = Unescaped(point);
    const bool holds = point == "/" || place == point ||
                       (place.compare(0, point.size(), point) == 0 && place[point.size()] == '/');
    if (holds && point.size() >= longest) {
      longest = point.size();
      mount.source = Unescaped(mount.source);
      found = mount;
    }
  }
  return found;
}

// Whether the block device `mount` was made from holds NTFS: its boot
// sector where we may read it, else what udev found there; absent when
// neither tells.
std::optional<bool> DeviceHoldsNtfs(const Mount& mount) {
  const int fd = open(mount.source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0) {
    char sector[11];
    const ssize_t n = pread(fd, sector, sizeof sector, 0);
    close(fd);
    if (n == static_cast<ssize_t>(sizeof sector)) {
      return std::string(sector + 3, 8) == "NTFS    ";
    }
  }
  std::ifstream udev("/run/udev/data/b" + mount.device);
  std::string line;
  while (std::getline(udev, line)) {
    if (line.rfind("E:ID_FS_TYPE=", 0) == 0) return line == "E:ID_FS_TYPE=ntfs";
  }
  return std::nullopt;
}

// Whether `path` lies on NTFS: the kernel's drivers by name, ntfs-3g as the
// FUSE block-device mount it makes (which exFAT's FUSE driver makes too, so
// the device is asked when it can be).
bool OnNtfs(const std::string& path) {
  const std::optional<Mount> mount = MountOf(path);
  if (!mount) return false;
  if (mount->type == "ntfs" || mount->type == "ntfs3") return true;
  if (mount->type.rfind("fuse", 0) == 0 && mount->type.find("ntfs") != std::string::npos) {
    return true;
  }
  return mount->type == "fuseblk" && DeviceHoldsNtfs(*mount).value_or(true);
}

}  // namespace

void ShowRunReport(const RunEnd& run, UserInterface&) {
  const HostPath& hostPath = run.game.hostPath;
  // Beside the error report, which is shown even to a silent run.
  if (run.error) Print(ErrorPlace(*run.error, hostPath));
  if (run.silent) return;
  if (!run.error) Print(run.game.searchReport);
  if (run.dryRun) return;
  if (!run.error) {
    std::string notWritten = run.restore ? NotRestoredReport(run.files, hostPath)
                                         : NotWrittenReport(run.files, hostPath, OnNtfs);
    if (!notWritten.empty()) {
      notWritten.pop_back();  // the dialog ends the line
      ShowTerminalDialog(notWritten, 0);
    }
  }
  Print(ClosingReport(run.files, hostPath, run.restore));
}

}  // namespace corvaldo
