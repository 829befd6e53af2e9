// The status line of a long check: kept on standard error, redrawn in place a few times a second,
// and cleared before every result line and at the end, so that the terminal shows exactly what a
// redirected run prints.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace lomvik {

class ProgressLine {
 public:
  // width: the terminal's width in characters (0 when unknown). Starts redrawing at once.
  explicit ProgressLine(std::size_t width);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine();

  // Stops redrawing and clears the line for good; results may still be printed.
  void stop();

  // Every byte of every data file, as it is read (by any thread).
  std::atomic<std::uint64_t>& bytes_read() { return bytes_read_; }
  // A check begins on a file (from any thread); the line shows the latest.
  void file_started(std::string_view name);
  // The number of files to check, once the search has found them all.
  void set_total(std::uint64_t total);
  // Writes a result line to standard output, with the status line out of its way.
  void print(std::string_view line);
  // A file is done, whether or not its line was printed.
  void file_done() { files_done_.fetch_add(1, std::memory_order_relaxed); }

  // The text of the line, cut to fit width (for the tests).
  static std::string compose(std::uint64_t files_done, std::uint64_t total, std::uint64_t bytes,
                             double seconds, std::string_view current, std::size_t width);

 private:
  void run();
  void draw();   // with mutex_ held
  void clear();  // with mutex_ held

  const std::size_t width_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::atomic<std::uint64_t> bytes_read_{0};
  std::atomic<std::uint64_t> files_done_{0};
  std::atomic<std::uint64_t> total_{0};
  std::mutex mutex_;
  std::condition_variable stop_requested_;
  bool stopping_ = false;
  std::string current_;    // guarded by mutex_
  std::size_t shown_ = 0;  // the width of the line on screen; 0 when there is none
  std::thread drawer_;
};

}  // namespace lomvik
