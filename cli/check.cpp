#include "cli/check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "inf/inf_check.h"
#include "inf/inf_file.h"

namespace lomvik {

namespace {

constexpr char kProgram[] = "Lomvik-check";
constexpr char kVersion[] = "1.0.0";

constexpr char kHelp[] =
    "Usage: Lomvik-check [OPTION]... PATH...\n"
    "Check data files against their inf files (the data file's name with .inf appended).\n"
    "A PATH that is a folder is searched, with its subfolders, for inf files; each one whose\n"
    "data file exists is checked.\n"
    "\n"
    "For each data file: the inf file holds at least 8 bytes, of which bytes 0-7 are lowercase\n"
    "hexadecimal digits; its seal (bytes 0-3) is the CRC of its bytes 4 to the end; and its\n"
    "data CRC (bytes 4-7) is the CRC of the data file.\n"
    "\n"
    "  -q, --quiet    print only the files that failed\n"
    "  -s, --status   print nothing; the exit status tells\n"
    "      --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "  --             end of options\n"
    "\n"
    "Exit status: 0 if every file passed, 1 if a CRC did not match (and every file could be\n"
    "read), 2 if a file could not be read or an inf file was malformed, if no file was checked,\n"
    "or if the command line was wrong.\n";

enum class Verbosity { all, failures, none };

struct CheckOptions {
  Verbosity verbosity = Verbosity::all;
  std::vector<std::string> paths;
};

struct Tally {
  int checked = 0;
  int mismatched = 0;
  int unreadable = 0;
};

// One file is always one line: control characters are escaped, and so is the escape character,
// the backslash, except on Windows, where it separates folders and no name holds a control
// character.
std::string escape_name(std::string_view name) {
#ifdef _WIN32
  constexpr bool kEscapeBackslash = false;
#else
  constexpr bool kEscapeBackslash = true;
#endif
  std::string escaped;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' && kEscapeBackslash) {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      escaped += hex;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string reason(int error) { return error != 0 ? std::strerror(error) : "read error"; }

class Reporter {
 public:
  explicit Reporter(Verbosity verbosity) : verbosity_(verbosity) {}

  void passed(std::string_view name) {
    ++tally_.checked;
    if (verbosity_ == Verbosity::all) line(name, "OK");
  }
  void mismatched(std::string_view name, const std::string& what) {
    ++tally_.checked;
    ++tally_.mismatched;
    if (verbosity_ != Verbosity::none) line(name, "FAILED " + what);
  }
  void unreadable(std::string_view name, const std::string& what) {
    ++tally_.unreadable;
    if (verbosity_ != Verbosity::none) line(name, "FAILED " + what);
  }

  // The summary, and the exit status.
  int finish() {
    const bool output_ok = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (tally_.checked == 0 && tally_.unreadable == 0) {
      if (verbosity_ != Verbosity::none) std::fprintf(stderr, "%s: no files checked\n", kProgram);
      return 2;
    }
    if ((tally_.mismatched != 0 || tally_.unreadable != 0) && verbosity_ != Verbosity::none) {
      std::fprintf(stderr, "%s: %d of %d files failed: %d mismatched, %d could not be read\n",
                   kProgram, tally_.mismatched + tally_.unreadable,
                   tally_.checked + tally_.unreadable, tally_.mismatched, tally_.unreadable);
    }
    if (tally_.unreadable != 0 || !output_ok) return 2;
    return tally_.mismatched != 0 ? 1 : 0;
  }

 private:
  static void line(std::string_view name, const std::string& text) {
    std::printf("%s: %s\n", escape_name(name).c_str(), text.c_str());
  }

  Verbosity verbosity_;
  Tally tally_;
};

void check_one(const std::string& data_name, Reporter& reporter) {
  const InfCheck check = check_against_inf(data_name);
  const std::string inf_name = escape_name(inf_name_for(data_name));
  switch (check.problem) {
    case CheckProblem::inf_unreadable:
      reporter.unreadable(data_name, "cannot read " + inf_name + ": " + reason(check.error));
      return;
    case CheckProblem::inf_malformed:
      reporter.unreadable(
          data_name, "malformed " + inf_name +
                         (check.inf_size < 8 ? ": shorter than 8 bytes"
                                             : ": bytes 0-7 are not lowercase hexadecimal digits"));
      return;
    case CheckProblem::data_unreadable:
      reporter.unreadable(data_name,
                          "cannot read " + escape_name(data_name) + ": " + reason(check.error));
      return;
    case CheckProblem::none:
      break;
  }
  if (check.passed()) {
    reporter.passed(data_name);
    return;
  }
  std::string what;
  if (!check.seal_matches()) {
    what = "seal: inf says " + format_crc(check.stored_seal) + ", inf file has " +
           format_crc(check.body_crc);
  }
  if (!check.data_matches()) {
    if (!what.empty()) what += "; ";
    what += "data crc: inf says " + format_crc(check.stored_data) + ", file has " +
            format_crc(check.data_crc);
  }
  reporter.mismatched(data_name, what);
}

std::filesystem::path to_path(const std::string& text) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
  return std::filesystem::path(text);
#endif
}

std::string path_text(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.string();
#endif
}

// Every inf file below folder, in name order; each one whose data file exists is checked.
void check_folder(const std::string& folder, Reporter& reporter) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inf_files;
  std::error_code error;
  fs::recursive_directory_iterator it(to_path(folder), error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path& path = it->path();
    std::error_code type_error;
    if (path.extension() == ".inf" && it->is_regular_file(type_error)) inf_files.push_back(path);
  }
  if (error) {
    reporter.unreadable(folder, "cannot read folder: " + error.message());
  }
  std::sort(inf_files.begin(), inf_files.end());
  for (const fs::path& inf : inf_files) {
    fs::path data = inf;
    data.replace_extension();
    std::error_code exists_error;
    if (!fs::exists(data, exists_error)) {
      reporter.unreadable(path_text(inf), "no data file " + escape_name(path_text(data)));
      continue;
    }
    check_one(path_text(data), reporter);
  }
}

void check_path(const std::string& path, Reporter& reporter) {
  std::error_code error;
  if (std::filesystem::is_directory(to_path(path), error)) {
    check_folder(path, reporter);
  } else {
    check_one(path, reporter);
  }
}

// Fills options, or returns the status to end with (help, version, a wrong command line).
std::optional<int> parse_check_options(int argc, const char* const* argv, CheckOptions& options) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      options.paths.emplace_back(argument);
    } else if (argument == "--") {
      options_ended = true;
    } else if (argument == "-q" || argument == "--quiet") {
      if (options.verbosity == Verbosity::all) options.verbosity = Verbosity::failures;
    } else if (argument == "-s" || argument == "--status") {
      options.verbosity = Verbosity::none;
    } else if (argument == "--help") {
      std::fputs(kHelp, stdout);
      return std::fflush(stdout) == 0 ? 0 : 2;
    } else if (argument == "--version") {
      std::printf("%s %s\n", kProgram, kVersion);
      return std::fflush(stdout) == 0 ? 0 : 2;
    } else {
      std::fprintf(stderr, "%s: unknown option '%s'\nTry '%s --help'.\n", kProgram,
                   escape_name(argument).c_str(), kProgram);
      return 2;
    }
  }
  if (options.paths.empty()) {
    std::fprintf(stderr, "%s: no PATH given\nTry '%s --help'.\n", kProgram, kProgram);
    return 2;
  }
  return std::nullopt;
}

}  // namespace

int run_check(int argc, const char* const* argv) {
  CheckOptions options;
  if (const auto status = parse_check_options(argc, argv, options)) return *status;
  Reporter reporter(options.verbosity);
  for (const std::string& path : options.paths) check_path(path, reporter);
  return reporter.finish();
}

}  // namespace lomvik
