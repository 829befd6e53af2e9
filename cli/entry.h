// The process entry of each executable. On Windows the arguments are taken as UTF-16 and handed
// on as UTF-8, which the file functions turn back into UTF-16 names: a name in any script works.
// Elsewhere the standard streams are made safe first (io::prepare_standard_streams).
#pragma once

#include "io/file.h"

#ifdef _WIN32
#include <string>
#include <vector>

namespace lomvik {

std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv);

template <typename Run>
int run_with_utf8_arguments(int argc, const wchar_t* const* argv, Run run) {
  const std::vector<std::string> arguments = utf8_arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return run(argc, pointers.data());
}

}  // namespace lomvik

#define LOMVIK_MAIN(run) \
  int wmain(int argc, wchar_t** argv) { return lomvik::run_with_utf8_arguments(argc, argv, run); }
#else
#define LOMVIK_MAIN(run)                    \
  int main(int argc, char** argv) {         \
    lomvik::io::prepare_standard_streams(); \
    return run(argc, argv);                 \
  }
#endif
