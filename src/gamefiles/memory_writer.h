// A writer that keeps the new content in memory until its commit hands it on:
// the file seams that write nothing to disk (a scratch run, a dry run).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "gamefiles/file_system.h"

namespace corvaldo {

class MemoryWriter final : public FileWriter {
 public:
  explicit MemoryWriter(std::function<void(std::string)> land) : land_(std::move(land)) {}

  bool Write(std::string_view bytes) override {
    if (committed_) return false;
    content_.append(bytes);
    return true;
  }

  bool Commit() override {
    if (committed_) return false;
    committed_ = true;
    land_(std::move(content_));
    return true;
  }

 private:
  std::function<void(std::string)> land_;
  std::string content_;
  bool committed_ = false;
};

}  // namespace corvaldo
