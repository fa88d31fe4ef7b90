#pragma once

#include <string>

namespace gf {

// Text made safe for an XML attribute value in double quotes.
std::string XmlEscape(const std::string& text);

}  // namespace gf
