#include "store/tag_list.h"

#include <algorithm>
#include <cctype>

#include "platform/text.h"

namespace klangor {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string CleanTagValue(std::string_view value) {
  std::string clean = CutToCharacters(value, kMaxTagCharacters);
  for (char& c : clean) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return clean;
}

void LTagList::Set(std::string_view name, std::string_view value) {
  if (name.empty()) return;
  for (LTag& tag : tags_) {
    if (SameName(tag.name, name)) {
      tag.value = value;
      return;
    }
  }
  tags_.push_back({std::string(name), std::string(value)});
}

std::string LTagList::Get(std::string_view name) const {
  for (const LTag& tag : tags_) {
    if (SameName(tag.name, name)) return tag.value;
  }
  return {};
}

bool LTagList::Has(std::string_view name) const {
  return std::any_of(tags_.begin(), tags_.end(), [&](const LTag& tag) { return SameName(tag.name, name); });
}

void LTagList::Remove(std::string_view name) {
  std::erase_if(tags_, [&](const LTag& tag) { return SameName(tag.name, name); });
}

}  // namespace klangor
