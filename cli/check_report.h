// What Lomvik-check reports: one result per data file or per finding of a folder search, printed
// one line each in a fixed order, and the summary and exit status at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "crc/crc16.h"

namespace lomvik {

enum class Verdict {
  ok,
  mismatch,    // a CRC did not match; both files were read
  malformed,   // the inf file does not hold a seal and a data CRC
  unreadable,  // a file or folder could not be read, or is not what can be checked
  unstamped,   // a file that has no inf file (--unstamped)
};

struct CheckResult {
  std::string name;  // the file the line is about, as given or found
  Verdict verdict = Verdict::ok;
  std::string reason;  // after "FAILED"
  // The four CRCs, where they are known.
  std::optional<CrcValue> seal;              // bytes 0-3 of the inf file
  std::optional<CrcValue> inf_body_crc;      // the CRC of its bytes 4 to the end
  std::optional<CrcValue> stamped_data_crc;  // bytes 4-7
  std::optional<CrcValue> data_crc;          // the CRC of the data file
};

enum class Verbosity { all, failures, none };

enum class ReportFormat {
  text,  // "NAME: OK", "NAME: FAILED why"
  json,  // one JSON object per line, and one with the totals at the end
};

class ProgressLine;

// One file is always one line: control characters are escaped, and so is the escape character,
// the backslash, except on Windows, where it separates folders and no name holds a control
// character.
std::string escape_name(std::string_view name);

// The text as a JSON string, quotes included. Bytes that are not UTF-8 become the escapes
// \udc80 to \udcff (the byte plus 0xdc00), from which the name's bytes come back whole, for
// example with Python's json.loads(line)["name"].encode("utf-8", "surrogateescape").
std::string json_string(std::string_view text);

class Reporter {
 public:
  // With unstamped, the summary counts the files that have no inf file apart. With a progress
  // line, results are printed through it.
  Reporter(Verbosity verbosity, ReportFormat format, bool unstamped, ProgressLine* progress)
      : verbosity_(verbosity), format_(format), unstamped_(unstamped), progress_(progress) {}

  void report(const CheckResult& result);
  // Prints the summary; returns the exit status.
  int finish();

 private:
  void print(const std::string& line);

  Verbosity verbosity_;
  ReportFormat format_;
  bool unstamped_;
  ProgressLine* progress_;
  int checked_ = 0;
  int mismatched_ = 0;
  int malformed_ = 0;
  int unreadable_ = 0;
  int without_inf_ = 0;
};

}  // namespace lomvik
