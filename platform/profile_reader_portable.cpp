// Our own reader of INI-form settings, matching GetPrivateProfileStringA in
// everything the settings loader relies on (see profile_reader.h).
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/profile_reader.h"
#include "platform/stdio_file.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i]))
      return false;
  }
  return true;
}

// What the caller receives: at most bufferSize - 1 characters.
std::string CutToBuffer(std::string_view text, size_t bufferSize) {
  if (bufferSize == 0)
    return std::string();
  return std::string(text.substr(0, bufferSize - 1));
}

std::string DefaultResult(const char* defaultValue, size_t bufferSize) {
  std::string_view value = defaultValue ? defaultValue : "";
  while (!value.empty() && IsBlank(value.back()))
    value.remove_suffix(1);
  return CutToBuffer(value, bufferSize);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Splits the text into lines at CR, LF or CR LF and hands each to visit until
// it returns false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos)
      end = text.size();
    if (!visit(text.substr(pos, end - pos)))
      return;
    pos = end;
    if (pos < text.size() && text[pos] == '\r')
      ++pos;
    if (pos < text.size() && text[pos] == '\n')
      ++pos;
  }
}

// The section name of a "[name]" line, or false for any other line.
bool SectionHeader(std::string_view line, std::string_view* name) {
  if (line.empty() || line.front() != '[')
    return false;
  const size_t close = line.rfind(']');
  if (close == std::string_view::npos || close == 0)
    return false;
  *name = Trim(line.substr(1, close - 1));
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  const UniqueStdioFile file = OpenStdioFile(path, "rb");
  if (!file)
    return false;
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
    text->append(chunk, got);
  return !std::ferror(file.get());
}

}  // namespace

std::string ReadProfileStringFromText(const char* section, const char* key,
                                      const char* defaultValue, size_t bufferSize,
                                      const std::string& text) {
  if (!section || !key)
    return DefaultResult(defaultValue, bufferSize);
  const std::string_view wantedSection = Trim(section);
  const std::string_view wantedKey = Trim(key);

  std::string_view body = text;
  if (body.substr(0, 3) == "\xEF\xBB\xBF")
    body.remove_prefix(3);

  // Lines before the first header belong to the section "". Only the first
  // section of a name counts; a later one of the same name is passed over.
  bool inside = SameName(wantedSection, "");
  bool found = false;
  bool hasValue = false;
  std::string_view value;
  ForEachLine(body, [&](std::string_view rawLine) {
    const std::string_view line = Trim(rawLine);
    if (line.empty())
      return true;
    std::string_view name;
    if (SectionHeader(line, &name)) {
      if (inside)
        return false;  // the first section of that name has ended
      inside = SameName(name, wantedSection);
      return true;
    }
    if (!inside)
      return true;
    const size_t equals = line.find('=');
    const std::string_view lineKey = Trim(line.substr(0, equals));
    if (!SameName(lineKey, wantedKey))
      return true;
    found = true;
    hasValue = equals != std::string_view::npos;
    if (hasValue)
      value = Trim(line.substr(equals + 1));
    return false;
  });

  if (!found || !hasValue)
    return DefaultResult(defaultValue, bufferSize);
  return CutToBuffer(Unquote(value), bufferSize);
}

std::string ReadProfileStringPortable(const char* section, const char* key,
                                      const char* defaultValue, size_t bufferSize,
                                      const std::string& path) {
  std::string text;
  if (path.empty() || !ReadWholeFile(path, &text))
    return DefaultResult(defaultValue, bufferSize);
  return ReadProfileStringFromText(section, key, defaultValue, bufferSize, text);
}
