#pragma once
// The text of a settings file: "[Section]" lines, each followed by "Name=value" lines.
//
// Reading is lenient, writing keeps the file's other lines:
// - Section and value names are compared without regard to ASCII case. Blanks and tabs around
//   a name and around a value are not part of it; blanks inside a name are ("RecentFile 1").
// - When a name occurs more than once in a section (or a section more than once in the file),
//   the last occurrence wins.
// - Lines starting with ";" or "#" are comments. Lines that are neither a section, a comment
//   nor "Name=value" (garbage), and values before the first section, are passed over when
//   reading and kept as they are when writing.
// - Line ends may be LF or CR LF; a UTF-8 byte order mark at the start is passed over (and
//   not written back). The text is written back with LF line ends.
// - Values are stored with backslash escapes: "\\" for a backslash, "\n" for a line feed, "\r"
//   for a carriage return, "\t" for a tab, and "\s" for a blank at the start or end of a value
//   (which would otherwise be taken for padding). A backslash before any other character, or
//   at the end, stands for itself. A value ends at its first NUL byte.
// - Other bytes, including bytes that are not UTF-8, are kept unchanged.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace klangor {

class LIniFile {
 public:
  LIniFile() = default;
  static LIniFile Parse(std::string_view text);
  std::string Text() const;

  // The value (escapes decoded), or nothing when the section or the name is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view name) const;
  // Sets the value: the last occurrence of the name in the section is replaced and earlier
  // ones are dropped; a new name goes after the last value of the section's last occurrence;
  // a new section is appended. False (and nothing changed) for a section or name that cannot
  // be written (see ValidSectionName and ValidValueName).
  bool Set(std::string_view section, std::string_view name, std::string_view value);

  // Escaping of values as described above.
  static std::string EscapeValue(std::string_view value);
  static std::string UnescapeValue(std::string_view stored);

  // A section name is not empty, has no "]", no line break and no NUL, and no blank at either
  // end. A value name is not empty, has no "=", no line break and no NUL, no blank at either
  // end, and does not start with "[", ";" or "#".
  static bool ValidSectionName(std::string_view section);
  static bool ValidValueName(std::string_view name);

 private:
  std::vector<std::string> lines_;  // without line ends
};

}  // namespace klangor
