#include "wine/wine_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "gamefiles/file_system.h"
#include "text/cp1252.h"
#include "wine/wine_case.h"

namespace corvaldo {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsForbiddenInName(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
         c == '*';
}

// A Unix name as folded characters. Bytes that are not valid UTF-8 become
// values no character has, so they only ever match themselves.
std::u32string FoldUnixName(std::string_view name) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < name.size()) {
    const std::size_t start = pos;
    std::optional<char32_t> cp = NextUtf8CodePoint(name, pos);
    out.push_back(cp ? FoldCase(*cp) : 0x110000 + static_cast<unsigned char>(name[start]));
  }
  return out;
}

std::u32string FoldCp1252Name(std::string_view name) {
  std::u32string out;
  for (char c : name) out.push_back(FoldCase(Cp1252ToCodePoint(static_cast<unsigned char>(c))));
  return out;
}

enum class Lookup { Found, Missing, Failed };

// Absent, with errno saying why.
std::optional<std::string> Unmapped(int error) {
  errno = error;
  return std::nullopt;
}

// Finds `name` (CP1252) in the folder `dir` as the folder lists it: the entry
// that is its UTF-8 form byte for byte, else the first that equals it
// case-insensitively, as Wine does. The name is never looked up as we spell
// it: a case-insensitive file system would find the file under that spelling
// too, and the kernel may keep it and hand it on (exFAT gives it to a file
// renamed over the entry; ntfs3 mounted with nocase misses the entry instead,
// and a rename over it corrupts the volume). Only a folder that may be passed
// through but not listed is asked for our spelling. Failed leaves errno
// saying why.
Lookup FindEntry(const std::string& dir, std::string_view name, std::string& found) {
  const std::string exact = Cp1252ToUtf8(name);
  DIR* folder = opendir(dir.c_str());
  if (folder == nullptr) {
    struct stat st;
    if (errno != EACCES) return Lookup::Failed;
    if (lstat((dir + "/" + exact).c_str(), &st) != 0) {
      return errno == ENOENT ? Lookup::Missing : Lookup::Failed;
    }
    found = dir + "/" + exact;
    return Lookup::Found;
  }
  const std::u32string wanted = FoldCp1252Name(name);
  std::string match;
  bool matched = false;
  while (const dirent* entry = readdir(folder)) {
    const std::string_view entryName = entry->d_name;
    if (entryName == exact) {
      match = exact;
      matched = true;
      break;
    }
    if (!matched && entryName != "." && entryName != ".." && FoldUnixName(entryName) == wanted) {
      match = entryName;
      matched = true;
    }
  }
  closedir(folder);
  if (!matched) return Lookup::Missing;
  found = dir + "/" + match;
  return Lookup::Found;
}

// Takes the drive an absolute Windows path starts with off `path`, with the
// separator after it: its letter in lower case. Absent for a path that names
// no file on a drive.
std::optional<char> TakeDrive(std::string_view& path) {
  const auto first = static_cast<unsigned char>(path.empty() ? 0 : path[0]);
  if (path.size() >= 2 && path[1] == ':' &&
      ((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) {
    if (path.size() < 3 || !IsSeparator(path[2])) return std::nullopt;  // drive-relative
    path.remove_prefix(3);
    return static_cast<char>(first | 0x20);
  }
  if (!path.empty() && IsSeparator(path[0])) {
    if (path.size() >= 2 && IsSeparator(path[1])) return std::nullopt;  // UNC or device
    path.remove_prefix(1);
    return 'c';
  }
  return std::nullopt;  // relative to a current folder we do not have
}

// The names of a path after its drive, normalised the way Windows does it
// before any file system sees the path: repeated separators collapse, "." and
// ".." are resolved by the text alone (".." stops at the root), and a final
// name loses its trailing dots and spaces. Absent when a name holds a
// character Windows forbids.
std::optional<std::vector<std::string_view>> NormalisedNames(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::string_view part = path.substr(start, end - start);
    if (end == path.size() && part != "." && part != "..") {
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      for (char c : part) {
        if (IsForbiddenInName(c)) return std::nullopt;
      }
      parts.push_back(part);
    }
    start = end + 1;
  }
  return parts;
}

// The prefix's folder for `drive`: its dosdevices link, or drive_c for C:
// when the prefix has no such link.
std::string DriveFolder(const std::string& prefix, char drive) {
  std::string folder = prefix + "/dosdevices/" + drive + ":";
  struct stat st;
  if (drive == 'c' && lstat(folder.c_str(), &st) != 0 && errno == ENOENT) {
    folder = prefix + "/drive_c";
  }
  return folder;
}

// Follows `names` down from `folder`, each as its folder lists it; with
// `forCreate` the last may be missing.
std::optional<std::string> FindNames(std::string folder, const std::vector<std::string_view>& names,
                                     bool forCreate) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string next;
    switch (FindEntry(folder, names[i], next)) {
      case Lookup::Found:
        folder = std::move(next);
        break;
      case Lookup::Missing:
        if (forCreate && i + 1 == names.size()) return folder + "/" + Cp1252ToUtf8(names[i]);
        return Unmapped(ENOENT);
      case Lookup::Failed:
        return std::nullopt;  // errno from the folder's lookup
    }
  }
  return folder;
}

}  // namespace

std::optional<std::string> MapWindowsPath(const std::string& prefix, const std::string& windowsPath,
                                          bool forCreate) {
  if (prefix.empty()) return Unmapped(ENOENT);
  if (windowsPath.size() > kMaxPathLength) return Unmapped(ENAMETOOLONG);
  std::string_view path = windowsPath;
  const std::optional<char> drive = TakeDrive(path);
  if (!drive) return Unmapped(EINVAL);
  const std::optional<std::vector<std::string_view>> names = NormalisedNames(path);
  if (!names) return Unmapped(EINVAL);
  const std::string root = DriveFolder(prefix, *drive);
  if (names->empty()) return forCreate ? Unmapped(EISDIR) : std::optional<std::string>(root);
  return FindNames(root, *names, forCreate);
}

}  // namespace corvaldo
