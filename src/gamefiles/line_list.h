// The ordered list of lines the patches work on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvaldo {

class LineList {
 public:
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  // Both raise EStringListError, leaving the list unchanged, for an index
  // outside 0..Count()-1.
  const std::string& Get(std::int32_t index) const;
  void Put(std::int32_t index, std::string line);
  std::int32_t Count() const { return static_cast<std::int32_t>(lines_.size()); }
  void Clear() { lines_.clear(); }

 private:
  void CheckIndex(std::int32_t index) const;
  std::vector<std::string> lines_;
};

}  // namespace corvaldo
