#include "tools/capture/json_members.h"

#include <cstdio>

namespace zdcap {

JsonMembers& JsonMembers::Add(const char* name, const std::string& value) {
  if (!m_text.empty())
    m_text += ", ";
  m_text += std::string("\"") + name + "\": " + value;
  return *this;
}

JsonMembers& JsonMembers::Int(const char* name, long long value) {
  return Add(name, std::to_string(value));
}

JsonMembers& JsonMembers::Bool(const char* name, bool value) {
  return Add(name, value ? "true" : "false");
}

JsonMembers& JsonMembers::Fixed(const char* name, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);
  return Add(name, text);
}

}  // namespace zdcap
