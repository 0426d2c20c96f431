#pragma once
#include <string>

namespace velk {

// Looks up one option in an option list. `options` holds items "name=value"
// separated by `separator`; `name` is the option looked for (compared exactly,
// blanks around items ignored). Found: `value` gets the item's value and the
// answer is true. Not found, or either text null: false, `value` unchanged.
bool CommonGetStringOption(const char* options, const char* name, char separator,
                           std::string& value);

}  // namespace velk
