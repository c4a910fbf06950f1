#pragma once
// Text for a web page: every character that could start markup or end an
// attribute value is written as an entity.
#include <string>

namespace zdanalyse {

std::string EscapeHtml(const std::string& text);

}  // namespace zdanalyse
