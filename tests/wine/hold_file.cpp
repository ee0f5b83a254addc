// Holds a file open the way another program might, for the sharing tests,
// or an installation the way a run of ours does, for the parallel tests:
//   hold_file <mode> <file> <ready-marker> <release-marker>
//   hold_file installation <install-folder> <ready-marker> <release-marker>
// Opens <file> in <mode> (or takes the installation's lock), creates
// <ready-marker>, and keeps the handle until <release-marker> exists (half an
// hour at most: the run it stands in the way of may crawl on a busy machine,
// and a test that died leaves no holder behind for long). Exit 0 after a
// normal release, 3 when the open failed, 4 when nobody released it.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "gamefiles/file_system.h"

namespace {

struct Mode {
  const char* name;
  DWORD access;
  DWORD share;
};

constexpr Mode kModes[] = {
    // A program writing the file, letting others read.
    {"write", GENERIC_WRITE, FILE_SHARE_READ},
    // A program that wants the file to itself.
    {"exclusive", GENERIC_READ | GENERIC_WRITE, 0},
    // Readers, from the strictest to the most permissive.
    {"read", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE},
    {"read-share-write", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
    {"read-share-all", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
};

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const Mode* mode = nullptr;
  for (const Mode& m : kModes) {
    if (std::strcmp(m.name, argv[1]) == 0) mode = &m;
  }
  // The installation's lock, taken through the program's own file seam.
  corvaldo::LockResult installation;
  if (std::strcmp(argv[1], "installation") == 0) {
    installation =
        corvaldo::MakePlatformFileSystem()->LockInstallation(argv[2], std::chrono::milliseconds(0));
    if (installation.status != corvaldo::LockStatus::Held) {
      std::fprintf(stderr, "hold_file: cannot lock %s\n", argv[2]);
      return 3;
    }
  } else if (mode == nullptr) {
    return 2;
  }
  const HANDLE held = mode ? CreateFileA(argv[2], mode->access, mode->share, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr)
                           : nullptr;
  if (held == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_file: cannot open %s (error %lu)\n", argv[2], GetLastError());
    return 3;
  }
  const HANDLE ready = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  int code = 4;
  for (int waited = 0; waited < 30 * 60 * 1000; waited += 50) {
    if (Exists(argv[4])) {
      code = 0;
      break;
    }
    Sleep(50);
  }
  if (held) CloseHandle(held);
  return code;
}
