#include "cli/check_progress.h"

#include <algorithm>
#include <cstdio>

#include "cli/check_report.h"

namespace lomvik {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(200);
constexpr std::size_t kUnknownWidth = 80;

// Characters on screen: UTF-8 continuation bytes take no room of their own.
std::size_t columns(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::string amount(double value, const char* const* units) {
  int unit = 0;
  while (value >= 1024 && units[unit + 1] != nullptr) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

}  // namespace

ProgressLine::ProgressLine(std::size_t width)
    : width_(width != 0 ? width : kUnknownWidth), drawer_([this] { run(); }) {}

ProgressLine::~ProgressLine() { stop(); }

void ProgressLine::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_requested_.notify_one();
  if (drawer_.joinable()) drawer_.join();
  const std::lock_guard lock(mutex_);
  clear();
}

void ProgressLine::file_started(std::string_view name) {
  const std::lock_guard lock(mutex_);
  current_.assign(name);
}

void ProgressLine::set_total(std::uint64_t total) {
  total_.store(total, std::memory_order_relaxed);
}

void ProgressLine::print(std::string_view line) {
  const std::lock_guard lock(mutex_);
  clear();
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::string ProgressLine::compose(std::uint64_t files_done, std::uint64_t total,
                                  std::uint64_t bytes, double seconds, std::string_view current,
                                  std::size_t width) {
  static const char* const kBytes[] = {"B", "KiB", "MiB", "GiB", "TiB", nullptr};
  static const char* const kRates[] = {"B/s", "KiB/s", "MiB/s", "GiB/s", "TiB/s", nullptr};
  std::string line = "Lomvik-check: " + std::to_string(files_done);
  if (total != 0) line += " of " + std::to_string(total);
  line += " files, " + amount(static_cast<double>(bytes), kBytes);
  if (seconds > 0) line += ", " + amount(static_cast<double>(bytes) / seconds, kRates);
  std::string name = escape_name(current);
  // The last column stays free: a terminal that wraps there would break the redraw.
  const std::size_t room = width > 1 ? width - 1 : 0;
  if (!name.empty()) {
    const std::size_t used = columns(line) + 2;
    if (used + columns(name) > room) {
      // Keep the end of the name, which tells the file apart.
      const std::size_t keep = room > used + 3 ? room - used - 3 : 0;
      std::size_t cut = name.size();
      for (std::size_t kept = 0; cut > 0 && kept < keep;) {
        --cut;
        if ((static_cast<unsigned char>(name[cut]) & 0xC0) != 0x80) ++kept;
      }
      name = keep == 0 ? std::string() : "..." + name.substr(cut);
    }
    if (!name.empty()) line += ": " + name;
  }
  if (columns(line) > room) {
    std::size_t cut = 0;
    for (std::size_t kept = 0; cut < line.size() && kept < room; ++cut) {
      if ((static_cast<unsigned char>(line[cut]) & 0xC0) != 0x80) ++kept;
    }
    while (cut < line.size() && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) ++cut;
    line.resize(cut);
  }
  return line;
}

void ProgressLine::run() {
  std::unique_lock lock(mutex_);
  while (!stop_requested_.wait_for(lock, kRedrawEvery, [this] { return stopping_; })) draw();
}

void ProgressLine::draw() {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string line =
      compose(files_done_.load(std::memory_order_relaxed), total_.load(std::memory_order_relaxed),
              bytes_read_.load(std::memory_order_relaxed), seconds, current_, width_);
  const std::size_t width = columns(line);
  std::string text = "\r" + line;
  // Blanks over whatever of a longer line is left.
  if (shown_ > width) text.append(shown_ - width, ' ');
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  shown_ = std::max(shown_, width);
}

void ProgressLine::clear() {
  if (shown_ == 0) return;
  std::string text = "\r";
  text.append(shown_, ' ');
  text += '\r';
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  shown_ = 0;
}

}  // namespace lomvik
