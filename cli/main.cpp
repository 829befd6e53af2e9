#include "cli/run.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

namespace {

// File names reach the tool as UTF-8, whatever the console's code page.
std::string narrow(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string result(static_cast<std::size_t>(length - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments.push_back(narrow(argv[i]));
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return lomvik::run_command_line(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return lomvik::run_command_line(argc, argv); }
#endif
