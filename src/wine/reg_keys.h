// Linux only: the keys of a Wine registry text indexed, values looked up and
// registry links followed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "gamefiles/registry.h"
#include "wine/reg_text.h"

namespace corvaldo::reg {

// A chain of registry links longer than this is taken for a loop.
inline constexpr int kMaxLinkHops = 16;

// A registry text split into lines, every key decoded into an index. The
// streaming lookup hands it only the sections it kept; the tests' full index
// hands it a whole file.
class RegistryKeys {
 public:
  explicit RegistryKeys(std::string text);
  RegistryKeys(const RegistryKeys&) = delete;
  RegistryKeys& operator=(const RegistryKeys&) = delete;

  // Whether the text starts as a Wine registry file does.
  bool Valid() const { return valid_; }
  // Whether it is a 64-bit prefix's, by its #arch line or, without one, by
  // its keys.
  bool Win64() const { return win64_; }

  // The value in the key at `path`, which is already in the view to use.
  // With `known`, a text that holds only some keys: when the lookup needs a
  // key not among them (a link led elsewhere), it stops and names in `needed`
  // the path it was following.
  std::optional<RegistryValue> Find(KeyPath path, const Units& foldedName,
                                    const std::vector<Units>* known = nullptr,
                                    std::optional<KeyPath>* needed = nullptr) const;

 private:
  struct KeySections {
    // Line ranges [first, end) of every section with this name; Wine merges them.
    std::vector<std::pair<std::size_t, std::size_t>> bodies;
    bool isLink = false;
  };

  void Index();
  bool HasWow64Key() const;
  std::optional<KeyPath> LinkTarget(const KeySections& link) const;
  std::optional<RegistryValue> FindValue(const KeySections& key, const Units& foldedName) const;

  std::string text_;
  std::vector<std::string_view> lines_;
  std::unordered_map<Units, KeySections> keys_;
  bool valid_ = false;
  bool win64_ = false;
};

}  // namespace corvaldo::reg
