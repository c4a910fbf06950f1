#pragma once
// The members of one JSON object, written on one line in the order they are
// added: {"ok": true, "frames": 12, "mean": 33.3333}.
#include <string>

namespace zdcap {

class JsonMembers {
 public:
  JsonMembers& Int(const char* name, long long value);
  JsonMembers& Bool(const char* name, bool value);
  // A number with four decimals.
  JsonMembers& Fixed(const char* name, double value);

  std::string Object() const { return "{" + m_text + "}"; }

 private:
  JsonMembers& Add(const char* name, const std::string& value);

  std::string m_text;
};

}  // namespace zdcap
