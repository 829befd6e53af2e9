#include "cli/entry.h"

#ifdef _WIN32
#include <windows.h>

namespace lomvik {

std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(length > 1 ? static_cast<std::size_t>(length - 1) : 0, '\0');
    if (length > 1) {
      WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, argument.data(), length, nullptr, nullptr);
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

}  // namespace lomvik
#endif
