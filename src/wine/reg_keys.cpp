// The keys of a Wine registry text indexed; values found, links followed.
#include "wine/reg_keys.h"

#include <span>

namespace corvaldo::reg {

RegistryKeys::RegistryKeys(std::string text) : text_(std::move(text)) {
  const std::string_view view = text_;
  std::size_t start = 0;
  while (start < view.size()) {
    std::size_t end = view.find('\n', start);
    if (end == std::string_view::npos) end = view.size();
    std::string_view line = view.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.push_back(line);
    start = end + 1;
  }
  valid_ = !lines_.empty() && lines_[0] == kRegistryMagic;
  if (valid_) Index();
}

std::optional<RegistryValue> RegistryKeys::Find(KeyPath path, const Units& foldedName,
                                                const std::vector<Units>* known,
                                                std::optional<KeyPath>* needed) const {
  auto lookUp = [&](const Units& name) -> const KeySections* {
    if (known != nullptr && !Contains(*known, name)) {
      *needed = path;
      return nullptr;
    }
    auto it = keys_.find(name);
    return it == keys_.end() ? nullptr : &it->second;
  };
  // Follow registry links (#link keys); a loop of links gives up.
  for (int hop = 0;; ++hop) {
    bool redirected = false;
    for (std::size_t n = 1; n <= path.size() && !redirected; ++n) {
      const KeySections* key = lookUp(JoinKeyPath(path, n));
      if (needed != nullptr && *needed) return std::nullopt;
      if (key == nullptr || !key->isLink) continue;
      if (hop >= kMaxLinkHops) return std::nullopt;
      std::optional<KeyPath> target = LinkTarget(*key);
      if (!target) return std::nullopt;
      target->insert(target->end(), path.begin() + n, path.end());
      path = std::move(*target);
      redirected = true;
    }
    if (!redirected) break;
  }
  const KeySections* key = lookUp(JoinKeyPath(path));
  if (key == nullptr) return std::nullopt;
  return FindValue(*key, foldedName);
}

void RegistryKeys::Index() {
  KeySections* current = nullptr;
  auto close = [&current](std::size_t end) {
    if (current) current->bodies.back().second = end;
  };
  bool sawKey = false;
  RegArch arch;
  for (std::size_t i = 1; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    std::size_t pos = 0;
    SkipSpaces(line, pos);
    if (pos >= line.size()) continue;
    if (line[pos] == '[') {
      close(i);
      ++pos;
      std::optional<Units> name = ParseEscapedText(line, pos, ']');
      current = name ? &keys_[JoinKeyPath(SplitKeyPath(*name))] : nullptr;
      if (current) current->bodies.emplace_back(i + 1, i + 1);
      sawKey = true;
    } else if (std::optional<RegArch> stated = sawKey ? std::nullopt : ParseArchLine(line, pos)) {
      arch = *stated;
    } else if (current && line.substr(pos) == "#link") {
      current->isLink = true;
    }
  }
  close(lines_.size());
  // Prefixes written before Wine recorded the architecture: a 64-bit one is
  // recognisable by its 32-bit view of Software.
  win64_ = arch.known ? arch.win64 : HasWow64Key();
}

bool RegistryKeys::HasWow64Key() const {
  const Units wow = u"SOFTWARE\\WOW6432NODE";
  for (const auto& [name, sections] : keys_) {
    if (name.starts_with(wow) && (name.size() == wow.size() || name[wow.size()] == u'\\')) {
      return true;
    }
  }
  return false;
}

std::optional<KeyPath> RegistryKeys::LinkTarget(const KeySections& link) const {
  const std::optional<RegistryValue> value = FindValue(link, u"SYMBOLICLINKVALUE");
  if (!value) return std::nullopt;
  return ParseLinkTarget(*value);
}

std::optional<RegistryValue> RegistryKeys::FindValue(const KeySections& key,
                                                     const Units& foldedName) const {
  std::optional<RegistryValue> found;  // a later definition replaces an earlier one
  for (const auto& [first, end] : key.bodies) {
    for (std::size_t i = first; i < end; ++i) {
      const std::string_view line = lines_[i];
      std::size_t pos = 0;
      SkipSpaces(line, pos);
      const std::optional<Units> name = ParseValueName(line, pos);
      if (!name || *name != foldedName) continue;
      const std::span<const std::string_view> rest(lines_.data() + i, end - i);
      if (std::optional<RegistryValue> value = ParseValueData(rest, pos)) found = std::move(value);
    }
  }
  return found;
}

}  // namespace corvaldo::reg
