#include "cli/check_report.h"

#include <cstdio>
#include <optional>

#include "cli/check_progress.h"

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

namespace {

const char* result_word(Verdict verdict) {
  switch (verdict) {
    case Verdict::ok:
      return "ok";
    case Verdict::mismatch:
      return "mismatch";
    case Verdict::malformed:
      return "malformed";
    case Verdict::unreadable:
      return "unreadable";
    case Verdict::unstamped:
      return "unstamped";
  }
  return "unreadable";
}

// The length of the UTF-8 sequence at the start of bytes, or 0 when it is not one: overlong
// forms, surrogates and values beyond U+10FFFF are not UTF-8.
std::size_t utf8_length(std::string_view bytes) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return length;
}

void add_crc(std::string& json, const char* key, const std::optional<CrcValue>& crc) {
  if (crc) json += std::string(",\"") + key + "\":\"" + format_crc(*crc) + '"';
}

}  // namespace

std::string json_string(std::string_view text) {
  std::string json = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = utf8_length(text.substr(i));
    char escape[8];
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\udc%02x", byte);
      json += escape;
      ++i;
      continue;
    }
    if (byte == '"' || byte == '\\') {
      json += '\\';
      json += static_cast<char>(byte);
    } else if (byte == '\n') {
      json += "\\n";
    } else if (byte == '\r') {
      json += "\\r";
    } else if (byte == '\t') {
      json += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      json += escape;
    } else {
      json.append(text.substr(i, length));
    }
    i += length;
  }
  json += '"';
  return json;
}

void Reporter::print(const std::string& line) {
  if (progress_ != nullptr) {
    progress_->print(line);
  } else {
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
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
  if (progress_ != nullptr) progress_->file_done();
  const bool passed = result.verdict == Verdict::ok;
  if (verbosity_ == Verbosity::none || (passed && verbosity_ == Verbosity::failures)) return;
  if (format_ == ReportFormat::text) {
    print(escape_name(result.name) + (passed ? ": OK\n" : ": FAILED " + result.reason + "\n"));
    return;
  }
  std::string json = "{\"name\":" + json_string(result.name) + ",\"result\":\"" +
                     result_word(result.verdict) + '"';
  add_crc(json, "seal", result.seal);
  add_crc(json, "inf_body_crc", result.inf_body_crc);
  add_crc(json, "stamped_data_crc", result.stamped_data_crc);
  add_crc(json, "data_crc", result.data_crc);
  if (!passed) json += ",\"reason\":" + json_string(result.reason);
  json += "}\n";
  print(json);
}

int Reporter::finish() {
  const int failed = mismatched_ + malformed_ + unreadable_ + without_inf_;
  const int files = checked_ - mismatched_ + failed;
  int status = 0;
  if (files == 0 || malformed_ != 0 || unreadable_ != 0 || without_inf_ != 0) {
    status = 2;
  } else if (mismatched_ != 0) {
    status = 1;
  }
  if (format_ == ReportFormat::json && verbosity_ != Verbosity::none) {
    print("{\"summary\":true,\"files\":" + std::to_string(files) + ",\"passed\":" +
          std::to_string(files - failed) + ",\"failed\":" + std::to_string(failed) +
          ",\"mismatched\":" + std::to_string(mismatched_) + ",\"malformed\":" +
          std::to_string(malformed_) + ",\"unreadable\":" + std::to_string(unreadable_) +
          ",\"unstamped\":" + std::to_string(without_inf_) +
          ",\"status\":" + std::to_string(status) + "}\n");
  }
  const bool output_ok = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  if (verbosity_ != Verbosity::none) {
    if (files == 0) {
      std::fprintf(stderr, "%s: no files checked\n", kProgram);
    } else if (failed != 0) {
      std::string summary = std::string(kProgram) + ": " + std::to_string(failed) + " of " +
                            std::to_string(files) +
                            " files failed: " + std::to_string(mismatched_) + " mismatched, " +
                            std::to_string(malformed_) + " malformed, " +
                            std::to_string(unreadable_) + " could not be read";
      if (unstamped_) summary += ", " + std::to_string(without_inf_) + " without inf file";
      summary += '\n';
      std::fputs(summary.c_str(), stderr);
    }
  }
  return output_ok ? status : 2;
}

}  // namespace lomvik
