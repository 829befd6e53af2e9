#include "cli/wildcards.h"

#include <algorithm>

#include "io/file.h"

namespace lomvik {

namespace {

char fold_case(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

[[maybe_unused]] bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool wildcard_match(std::string_view pattern, std::string_view name) {
  // Greedy matching with a single backtrack point: the last star seen.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold_case(pattern[p]) == fold_case(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> expand_wildcards(const std::string& argument) {
#ifdef _WIN32
  const auto last_separator = std::find_if(argument.rbegin(), argument.rend(), is_separator);
  const std::size_t name_start = static_cast<std::size_t>(argument.rend() - last_separator);
  const std::string folder_part = argument.substr(0, name_start);
  const std::string pattern = argument.substr(name_start);
  if (pattern.find_first_of("*?") == std::string::npos) return {argument};
  auto folder = folder_part.empty() ? io::Result<io::Folder>(io::Folder::working())
                                    : io::Folder::open(folder_part);
  if (!folder) return {argument};
  auto entries = folder->list();
  if (!entries) return {argument};
  std::vector<std::string> matches;
  for (const io::FolderEntry& entry : *entries) {
    if (wildcard_match(pattern, entry.name)) matches.push_back(folder_part + entry.name);
  }
  if (matches.empty()) return {argument};
  std::sort(matches.begin(), matches.end());
  return matches;
#else
  return {argument};
#endif
}

}  // namespace lomvik
