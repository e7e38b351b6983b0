// Facts about a built page that publication relies on.
#pragma once

#include <string>

namespace vs {

// The page's own built-in version (its loader's BUILT_IN, "YYYY-MM-DD.N"), or "" when the
// text is not a page, names no version, or names more than one.
std::string page_version(const std::string &html);

} // namespace vs
