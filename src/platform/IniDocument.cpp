#include "platform/IniDocument.h"

#include "platform/FileWrite.h"
#include "platform/Text.h"

namespace kestrel::platform {

namespace {

const char kBom[] = "\xEF\xBB\xBF";

// Blanks around a name or value; a stray CR before the line end goes with them.
std::string TrimLine(const std::string& s) { return TrimChars(s, kBlanks, " \t\r"); }

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool IsQuoted(const std::string& v) { return v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front(); }

}  // namespace

IniDocument::IniDocument() : eol_(NewFileLineEnd()) {}

IniDocument IniDocument::Parse(const std::string& bytes) {
  IniDocument doc;
  std::string text = bytes;
  if (text.compare(0, 3, kBom) == 0) {
    doc.bom_ = true;
    text.erase(0, 3);
  }
  doc.eol_ = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  doc.finalNewline_ = text.empty() || text.back() == '\n';
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t nl = text.find('\n', start);
    const std::size_t end = nl == std::string::npos ? text.size() : nl;
    std::string raw = text.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    doc.lines_.push_back(ParseLine(raw));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return doc;
}

bool IniDocument::Load(const std::string& path, IniDocument& doc) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    doc = IniDocument();
    return false;
  }
  doc = Parse(bytes);
  return true;
}

IniDocument::Line IniDocument::ParseLine(const std::string& raw) {
  Line line;
  line.raw = raw;
  const std::string t = TrimLine(raw);
  if (t.empty() || t[0] == ';') return line;
  if (t[0] == '[') {
    const auto close = t.find(']');
    if (close != std::string::npos) {
      line.kind = Line::Section;
      line.name = TrimLine(t.substr(1, close - 1));
    }
    return line;
  }
  const auto eq = t.find('=');
  if (eq == std::string::npos) return line;
  line.kind = Line::Entry;
  line.name = TrimLine(t.substr(0, eq));
  line.value = ReadValue(t.substr(eq + 1));
  return line;
}

std::string IniDocument::ReadValue(const std::string& text) {
  const std::string v = TrimLine(text);
  return IsQuoted(v) ? v.substr(1, v.size() - 2) : v;
}

std::string IniDocument::WriteValue(const std::string& value) {
  const bool loses = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value));
  return loses ? "\"" + value + "\"" : value;
}

bool IniDocument::IsBlankLine(const std::string& raw) { return TrimLine(raw).empty(); }

std::size_t IniDocument::FindSection(const std::string& section) const {
  const std::string wanted = TrimLine(section);
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Line::Section && EqualNoCase(lines_[i].name, wanted)) return i;
  return npos;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t end = header + 1;
  while (end < lines_.size() && lines_[end].kind != Line::Section) ++end;
  return end;
}

std::size_t IniDocument::FindKey(std::size_t header, const std::string& key) const {
  const std::string wanted = TrimLine(key);
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (lines_[i].kind == Line::Entry && EqualNoCase(lines_[i].name, wanted)) return i;
  return npos;
}

bool IniDocument::Set(const std::string& section, const std::string& key, const std::string& value) {
  const std::string wantSection = TrimLine(section), wantKey = TrimLine(key);
  if (wantSection.empty() || wantKey.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || wantKey.find('=') != std::string::npos ||
      wantSection.find(']') != std::string::npos || wantKey[0] == '[' || wantKey[0] == ';')
    return false;

  const std::size_t header = FindSection(wantSection);
  if (header == npos) {
    if (!lines_.empty() && !IsBlankLine(lines_.back().raw)) lines_.push_back(ParseLine(""));
    lines_.push_back(ParseLine("[" + wantSection + "]"));
    lines_.push_back(ParseLine(wantKey + "=" + WriteValue(value)));
    return true;
  }
  if (const std::size_t at = FindKey(header, wantKey); at != npos) {
    // The key keeps the letter case it has in the file.
    lines_[at] = ParseLine(lines_[at].name + "=" + WriteValue(value));
    return true;
  }
  std::size_t lastEntry = header;
  for (std::size_t i = header + 1; i < SectionEnd(header); ++i)
    if (lines_[i].kind == Line::Entry) lastEntry = i;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), ParseLine(wantKey + "=" + WriteValue(value)));
  return true;
}

std::string IniDocument::Text() const {
  std::vector<std::string> raws;
  raws.reserve(lines_.size());
  for (const Line& line : lines_) raws.push_back(line.raw);
  return TextOf(raws);
}

std::string IniDocument::TextOf(const std::vector<std::string>& lines) const {
  std::string text = bom_ ? kBom : "";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || finalNewline_) text += eol_;
  }
  return text;
}

}  // namespace kestrel::platform
