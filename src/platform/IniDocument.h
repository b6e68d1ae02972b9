// An INI file as lines, read with the rules of the Windows private-profile routines that the
// settings files were made for: section and key names compare without regard to letter case,
// blanks around names and values are removed, a value in one pair of matching quotes ("..." or
// '...') loses them, and a line whose first non-blank is ';' is a comment. The lines keep their
// text, so that a change of one value leaves every other line, the byte order mark, the line
// ends and a missing last line end as they were.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrel::platform {

class IniDocument {
 public:
  struct Line {
    enum Kind { Other, Section, Entry };
    std::string raw;  // as in the file, without its line end
    Kind kind = Other;
    std::string name;   // a section's name or an entry's key, blanks around it removed
    std::string value;  // an entry's value as read (blanks and one pair of quotes removed)
  };
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // An empty document: a file that does not exist yet, with the line end of a new file.
  IniDocument();
  // The document of a file's bytes.
  static IniDocument Parse(const std::string& bytes);
  // The file at `path`; false, with an empty document, when it can not be read.
  static bool Load(const std::string& path, IniDocument& doc);
  static Line ParseLine(const std::string& raw);

  // The value as read from the text after '=' (blanks and one pair of matching quotes removed).
  static std::string ReadValue(const std::string& text);
  // The text to write after '=' so that ReadValue gives `value` back: in double quotes when
  // blanks at its ends or a pair of quotes around it would otherwise be lost.
  static std::string WriteValue(const std::string& value);
  // Whether `raw` holds nothing but blanks.
  static bool IsBlankLine(const std::string& raw);

  const std::vector<Line>& Lines() const { return lines_; }
  // The line of the first section named `section`, or npos.
  std::size_t FindSection(const std::string& section) const;
  // The line after the last one of the section whose header is line `header`.
  std::size_t SectionEnd(std::size_t header) const;
  // The line of the first entry `key` of the section whose header is line `header`, or npos.
  std::size_t FindKey(std::size_t header, const std::string& key) const;

  // Sets `key` in the first section named `section` to `value`: the key's line in place, a new
  // key after the section's last entry, a new section at the end. False, with nothing changed,
  // for a name or value that can not be read back (a line break anywhere, an empty name, '='
  // in a key or a key that reads as a section or comment, ']' in a section name).
  bool Set(const std::string& section, const std::string& key, const std::string& value);

  // The file's bytes.
  std::string Text() const;
  // The bytes of a file of `lines` in this document's form: its byte order mark, line end, and
  // a last line end when it had one.
  std::string TextOf(const std::vector<std::string>& lines) const;

 private:
  std::vector<Line> lines_;
  bool bom_ = false;
  std::string eol_;
  bool finalNewline_ = true;
};

}  // namespace kestrel::platform
