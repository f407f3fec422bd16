#include "settings/ini_file.h"

namespace klangor {
namespace {

const char kByteOrderMark[] = "\xef\xbb\xbf";

enum class LLineKind { kBlank, kComment, kSection, kValue, kOther };

struct LLine {
  LLineKind kind = LLineKind::kOther;
  std::string_view section;   // kSection
  std::string_view name;      // kValue
  std::string_view rawValue;  // kValue, still escaped
};

bool IsPadding(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsPadding(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsPadding(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

LLine Classify(std::string_view line) {
  LLine result;
  std::string_view text = Trim(line);
  if (text.empty()) {
    result.kind = LLineKind::kBlank;
  } else if (text.front() == ';' || text.front() == '#') {
    result.kind = LLineKind::kComment;
  } else if (text.front() == '[') {
    const size_t close = text.find(']');
    if (close != std::string_view::npos) {
      result.kind = LLineKind::kSection;
      result.section = Trim(text.substr(1, close - 1));
    }
  } else if (const size_t equals = text.find('='); equals != std::string_view::npos) {
    std::string_view name = Trim(text.substr(0, equals));
    if (!name.empty()) {
      result.kind = LLineKind::kValue;
      result.name = name;
      result.rawValue = Trim(text.substr(equals + 1));
    }
  }
  return result;
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

LIniFile LIniFile::Parse(std::string_view text) {
  LIniFile file;
  if (text.substr(0, 3) == kByteOrderMark) text.remove_prefix(3);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    file.lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return file;
}

std::string LIniFile::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

std::optional<std::string> LIniFile::Get(std::string_view section, std::string_view name) const {
  std::optional<std::string_view> found;
  bool inSection = false;
  for (const std::string& line : lines_) {
    const LLine parsed = Classify(line);
    if (parsed.kind == LLineKind::kSection) {
      inSection = SameName(parsed.section, section);
    } else if (inSection && parsed.kind == LLineKind::kValue && SameName(parsed.name, name)) {
      found = parsed.rawValue;
    }
  }
  if (!found) return std::nullopt;
  return UnescapeValue(*found);
}

bool LIniFile::Set(std::string_view section, std::string_view name, std::string_view value) {
  if (!ValidSectionName(section) || !ValidValueName(name)) return false;
  const std::string newLine = std::string(name) + "=" + EscapeValue(value);

  constexpr size_t kNone = static_cast<size_t>(-1);
  std::vector<size_t> matches;  // lines that hold this name in this section
  size_t lastHeader = kNone;
  size_t insertAfter = kNone;   // the last value line of the section's last occurrence
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const LLine parsed = Classify(lines_[i]);
    if (parsed.kind == LLineKind::kSection) {
      inSection = SameName(parsed.section, section);
      if (inSection) lastHeader = insertAfter = i;
    } else if (inSection && parsed.kind == LLineKind::kValue) {
      if (SameName(parsed.name, name)) matches.push_back(i);
      insertAfter = i;
    }
  }

  if (!matches.empty()) {
    lines_[matches.back()] = newLine;
    for (size_t k = matches.size() - 1; k-- > 0;) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(matches[k]));
    }
  } else if (lastHeader != kNone) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter + 1), newLine);
  } else {
    if (!lines_.empty() && Classify(lines_.back()).kind != LLineKind::kBlank) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(newLine);
  }
  return true;
}

std::string LIniFile::EscapeValue(std::string_view value) {
  value = value.substr(0, value.find('\0'));
  std::string stored;
  stored.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\': stored += "\\\\"; break;
      case '\n': stored += "\\n"; break;
      case '\r': stored += "\\r"; break;
      case '\t': stored += "\\t"; break;
      case ' ':
        stored += i == 0 || i + 1 == value.size() ? "\\s" : " ";
        break;
      default: stored += c; break;
    }
  }
  return stored;
}

std::string LIniFile::UnescapeValue(std::string_view stored) {
  std::string value;
  value.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    const char c = stored[i];
    if (c != '\\' || i + 1 == stored.size()) {
      value += c;
      continue;
    }
    switch (stored[i + 1]) {
      case '\\': value += '\\'; break;
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      case 't': value += '\t'; break;
      case 's': value += ' '; break;
      default: value += '\\'; continue;  // not an escape: the next character is read as it is
    }
    ++i;
  }
  return value.substr(0, value.find('\0'));
}

bool LIniFile::ValidSectionName(std::string_view section) {
  return !section.empty() && Trim(section).size() == section.size() &&
         section.find(']') == std::string_view::npos && !HasLineBreakOrNul(section);
}

bool LIniFile::ValidValueName(std::string_view name) {
  return !name.empty() && Trim(name).size() == name.size() &&
         name.find('=') == std::string_view::npos && !HasLineBreakOrNul(name) &&
         name.front() != '[' && name.front() != ';' && name.front() != '#';
}

}  // namespace klangor
