#include "core/page.hpp"

#include <regex>

namespace vs {

std::string page_version(const std::string &html) {
  if (html.rfind("<!DOCTYPE", 0) != 0)
    return "";
  static const std::regex re(R"(\bBUILT_IN\s*=\s*['"](\d{4}-\d{2}-\d{2}\.\d+)['"])");
  std::string found;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator(); ++it) {
    std::string v = (*it)[1].str();
    if (!found.empty() && v != found)
      return "";
    found = v;
  }
  return found;
}

} // namespace vs
