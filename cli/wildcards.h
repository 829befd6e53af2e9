// Wildcards in command-line paths, for Windows, whose shells leave them to the program: * stands
// for any run of characters and ? for any one, in the last name of a path, matched without regard
// to the case of ASCII letters, as Windows matches names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lomvik {

bool wildcard_match(std::string_view pattern, std::string_view name);

// The paths that a command-line argument stands for: on Windows the names that its wildcards
// match, in name order (the argument itself when it has none or nothing matches); elsewhere, where
// the shell has expanded them already, the argument itself.
std::vector<std::string> expand_wildcards(const std::string& argument);

}  // namespace lomvik
