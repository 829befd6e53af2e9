#include "cli/check_report.h"

#include <cstdio>

namespace lomvik {

namespace {

constexpr char kProgram[] = "Lomvik-check";

}  // namespace

std::string escape_name(std::string_view name) {
#ifdef _WIN32
  constexpr bool kEscapeBackslash = false;
#else
  constexpr bool kEscapeBackslash = true;
#endif
  std::string escaped;
  escaped.reserve(name.size());
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

void Reporter::report(const CheckResult& result) {
  switch (result.verdict) {
    case Verdict::ok:
      ++checked_;
      break;
    case Verdict::mismatch:
      ++checked_;
      ++mismatched_;
      break;
    case Verdict::malformed:
      ++malformed_;
      break;
    case Verdict::unreadable:
      ++unreadable_;
      break;
    case Verdict::unstamped:
      ++without_inf_;
      break;
  }
  const bool passed = result.verdict == Verdict::ok;
  if (verbosity_ == Verbosity::none || (passed && verbosity_ == Verbosity::failures)) return;
  const std::string line =
      escape_name(result.name) + (passed ? ": OK\n" : ": FAILED " + result.reason + "\n");
  std::fwrite(line.data(), 1, line.size(), stdout);
}

int Reporter::finish() {
  const bool output_ok = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  const int failed = mismatched_ + malformed_ + unreadable_ + without_inf_;
  if (checked_ == 0 && failed == 0) {
    if (verbosity_ != Verbosity::none) std::fprintf(stderr, "%s: no files checked\n", kProgram);
    return 2;
  }
  if (failed != 0 && verbosity_ != Verbosity::none) {
    std::string summary = std::string(kProgram) + ": " + std::to_string(failed) + " of " +
                          std::to_string(checked_ + failed - mismatched_) +
                          " files failed: " + std::to_string(mismatched_) + " mismatched, " +
                          std::to_string(malformed_) + " malformed, " +
                          std::to_string(unreadable_) + " could not be read";
    if (unstamped_) summary += ", " + std::to_string(without_inf_) + " without inf file";
    summary += '\n';
    std::fputs(summary.c_str(), stderr);
  }
  if (malformed_ != 0 || unreadable_ != 0 || without_inf_ != 0 || !output_ok) return 2;
  return mismatched_ != 0 ? 1 : 0;
}

}  // namespace lomvik
