// Win32 handles that close themselves, and the paths the ANSI file API may be
// handed, shared by the file seam and the installation's lock.
#pragma once

#include <windows.h>

#include <string>

#include "gamefiles/file_system.h"

namespace corvaldo {

// A path the API would see cut short (too long, or with a NUL inside) is
// never handed to it.
inline bool Openable(const std::string& path) {
  return path.size() <= kMaxPathLength && path.find('\0') == std::string::npos;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : handle_(other.Release()) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle& operator=(Handle&&) = delete;
  HANDLE Release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  bool Close() {
    if (!Valid()) return true;
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

}  // namespace corvaldo
