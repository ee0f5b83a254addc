#include "gamefiles/line_list.h"

#include "gamefiles/errors.h"

namespace corvaldo {

void LineList::CheckIndex(std::int32_t index) const {
  if (index < 0 || index >= Count()) throw EStringListError(index);
}

const std::string& LineList::Get(std::int32_t index) const {
  CheckIndex(index);
  return lines_[static_cast<std::size_t>(index)];
}

void LineList::Put(std::int32_t index, std::string line) {
  CheckIndex(index);
  lines_[static_cast<std::size_t>(index)] = std::move(line);
}

}  // namespace corvaldo
