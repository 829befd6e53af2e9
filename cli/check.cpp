#include "cli/check.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/check_progress.h"
#include "cli/check_queue.h"
#include "cli/check_report.h"
#include "cli/wildcards.h"
#include "inf/inf_check.h"
#include "inf/inf_file.h"
#include "io/file.h"
#include "io/walk.h"

namespace lomvik {

namespace {

constexpr char kProgram[] = "Lomvik-check";
constexpr char kVersion[] = "1.0.0";

constexpr char kHelp[] =
    "Usage: Lomvik-check [OPTION]... PATH...\n"
    "Check data files against their inf files (the data file's name with .inf appended).\n"
    "A PATH that is a folder is searched, with its subfolders, for inf files; each one whose\n"
    "data file exists is checked. A PATH that names an inf file checks its data file.\n"
    "\n"
    "For each data file: the inf file holds at least 8 bytes, of which bytes 0-7 are lowercase\n"
    "hexadecimal digits; its seal (bytes 0-3) is the CRC of its bytes 4 to the end; and its\n"
    "data CRC (bytes 4-7) is the CRC of the data file.\n"
    "\n"
    "  -q, --quiet        print only the files that failed\n"
    "  -s, --status       print nothing; the exit status tells\n"
    "      --unstamped    in folders, also report every file that has no inf file\n"
    "      --json         print one JSON object per file, and one with the totals\n"
    "      --progress     keep a status line on standard error (the default on a terminal)\n"
    "      --no-progress  no status line\n"
    "  -h, --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "  --                 end of options\n"
    "\n"
    "Exit status: 0 if every file passed, 1 if a CRC did not match (and every file could be\n"
    "read), 2 if a file could not be read, an inf file was malformed or a file had no inf file,\n"
    "if no file was checked, or if the command line was wrong.\n";

enum class ProgressChoice { terminal, on, off };

struct CheckOptions {
  Verbosity verbosity = Verbosity::all;
  ReportFormat format = ReportFormat::text;
  ProgressChoice progress = ProgressChoice::terminal;
  bool unstamped = false;
  std::vector<std::string> paths;
};

// How the descriptors this process may hold are shared: the folders a walk keeps open, and the
// checks waiting in the queue (each may hold its folder open).
struct DescriptorBudget {
  std::size_t open_folders;
  std::size_t queued_checks;
};

DescriptorBudget descriptor_budget(unsigned workers) {
  const std::size_t reserved = 8 + 2 * std::size_t{workers};
  const std::size_t limit = io::open_file_limit();
  const std::size_t spare = limit > reserved + 4 ? limit - reserved : 4;
  const std::size_t folders = std::clamp<std::size_t>(spare / 4, 2, 32);
  return {folders, std::clamp<std::size_t>(spare - std::min(spare, folders + 2), 1, 512)};
}

// strerror, safe to call from the worker threads.
std::string error_text(int error) {
  static std::mutex mutex;
  if (error == 0) return "read error";
  const std::lock_guard lock(mutex);
  return std::strerror(error);
}

std::string read_problem_text(FileCrcProblem problem, int error) {
  switch (problem) {
    case FileCrcProblem::ended_early:
      return "it ended before its size";
    case FileCrcProblem::changed:
      return "it changed while it was read";
    default:
      return error_text(error);
  }
}

constexpr std::string_view kInfSuffix = ".inf";
#ifdef _WIN32
constexpr char kSeparators[] = "\\/";
#else
constexpr char kSeparators[] = "/";
#endif

bool is_inf_name(std::string_view name) {
  return name.size() > kInfSuffix.size() && name.ends_with(kInfSuffix);
}

// One data file against its inf file, and the line that tells how it went.
struct CheckJob {
  std::shared_ptr<const io::Folder> folder;
  std::string data_name;  // in folder
  std::string shown;      // the data file's name as the user sees it
  bool inf_listed_regular = false;
  bool data_listed_regular = false;
  bool named = false;  // given on the command line, not found by a search
  ProgressLine* progress = nullptr;

  CheckResult operator()() const {
    CheckTarget target{*folder, data_name, inf_listed_regular, data_listed_regular, named};
    if (progress != nullptr) {
      progress->file_started(shown);
      target.bytes_read = &progress->bytes_read();
    }
    return result_of(check_against_inf(target));
  }

  CheckResult result_of(const InfCheck& check) const {
    CheckResult result;
    result.name = shown;
    const std::string inf_shown = escape_name(inf_name_for(shown));
    if (check.problem == CheckProblem::none || check.problem == CheckProblem::data_unreadable ||
        check.problem == CheckProblem::data_not_regular) {
      result.seal = check.stored_seal;
      result.inf_body_crc = check.body_crc;
      result.stamped_data_crc = check.stored_data;
    }
    switch (check.problem) {
      case CheckProblem::inf_unreadable:
        result.verdict = Verdict::unreadable;
        result.reason =
            "cannot read " + inf_shown + ": " + read_problem_text(check.read_problem, check.error);
        return result;
      case CheckProblem::inf_not_regular:
        result.verdict = Verdict::unreadable;
        result.reason = inf_shown + " is not a regular file";
        return result;
      case CheckProblem::inf_malformed:
        result.verdict = Verdict::malformed;
        result.reason = "malformed " + inf_shown +
                        (check.inf_size < 8 ? ": shorter than 8 bytes"
                                            : ": bytes 0-7 are not lowercase hexadecimal digits");
        return result;
      case CheckProblem::data_unreadable:
        result.verdict = Verdict::unreadable;
        if (!named && check.read_problem == FileCrcProblem::read_failed && check.error == ENOENT) {
          // A search found the inf file, and its data file is a broken link.
          return no_data_file(shown);
        }
        result.reason = "cannot read " + escape_name(shown) + ": " +
                        read_problem_text(check.read_problem, check.error);
        return result;
      case CheckProblem::data_not_regular:
        result.verdict = Verdict::unreadable;
        result.reason = "not a regular file";
        return result;
      case CheckProblem::none:
        break;
    }
    result.data_crc = check.data_crc;
    if (check.passed()) return result;
    result.verdict = Verdict::mismatch;
    if (!check.seal_matches()) {
      result.reason = "seal: inf says " + format_crc(check.stored_seal) + ", inf file has " +
                      format_crc(check.body_crc);
    }
    if (!check.data_matches()) {
      if (!result.reason.empty()) result.reason += "; ";
      result.reason += "data crc: inf says " + format_crc(check.stored_data) + ", file has " +
                       format_crc(check.data_crc);
    }
    return result;
  }

  static CheckResult no_data_file(const std::string& data_shown) {
    CheckResult result;
    result.name = inf_name_for(data_shown);
    result.verdict = Verdict::unreadable;
    result.reason = "no data file " + escape_name(data_shown);
    return result;
  }
};

CheckResult failed(std::string name, Verdict verdict, std::string reason) {
  CheckResult result;
  result.name = std::move(name);
  result.verdict = verdict;
  result.reason = std::move(reason);
  return result;
}

const io::FolderEntry* find_entry(std::span<const io::FolderEntry> sorted, std::string_view name) {
  const auto it = std::lower_bound(
      sorted.begin(), sorted.end(), name,
      [](const io::FolderEntry& entry, std::string_view wanted) { return entry.name < wanted; });
  return it != sorted.end() && it->name == name ? &*it : nullptr;
}

// What a folder search finds: every inf file with its data file, in name order.
class Search final : public io::WalkVisitor {
 public:
  Search(CheckQueue& queue, const CheckOptions& options, ProgressLine* progress)
      : queue_(queue), options_(options), progress_(progress) {}

  void visit(const io::WalkPlace& place, const io::FolderEntry& entry) override {
    std::string shown(place.path);
    shown += entry.name;
    if (is_inf_name(entry.name)) {
      inf_entry(place, entry, std::move(shown));
      return;
    }
    if (entry.name.ends_with(kInfSuffix)) return;  // ".inf" alone: no data file's inf file
    const io::FolderEntry* inf = find_entry(place.entries, entry.name + std::string(kInfSuffix));
    if (inf != nullptr && inf->kind == io::FileKind::directory) {
      // The search walks the folder, and the file beside it has no inf file it could use.
      std::string reason = escape_name(inf_name_for(shown)) + " is not a regular file";
      queue_.add(failed(std::move(shown), Verdict::unreadable, std::move(reason)));
    } else if (inf == nullptr && options_.unstamped && is_regular(place, entry)) {
      queue_.add(failed(std::move(shown), Verdict::unstamped, "no inf file"));
    }
  }

  void folder_failed(const std::string& path, io::FolderProblem problem, int error) override {
    queue_.add(failed(path, Verdict::unreadable,
                      problem == io::FolderProblem::moved
                          ? "folder moved during the check"
                          : "cannot read folder: " + error_text(error)));
  }

 private:
  void inf_entry(const io::WalkPlace& place, const io::FolderEntry& entry, std::string inf_shown) {
    // The inf file itself: a regular file, or a link to one.
    if (entry.kind == io::FileKind::symbolic_link) {
      const auto target = place.folder->stat(entry.name);
      if (!target) {
        queue_.add(failed(std::move(inf_shown), Verdict::unreadable,
                          target.error() == ENOENT ? "broken link"
                                                   : "cannot read: " + error_text(target.error())));
        return;
      }
      if (target->kind != io::FileKind::regular) {
        queue_.add(failed(std::move(inf_shown), Verdict::unreadable, "not a regular file"));
        return;
      }
    } else if (entry.kind != io::FileKind::regular) {
      queue_.add(failed(std::move(inf_shown), Verdict::unreadable, "not a regular file"));
      return;
    }

    CheckJob job;
    job.data_name = entry.name.substr(0, entry.name.size() - kInfSuffix.size());
    job.shown = inf_shown.substr(0, inf_shown.size() - kInfSuffix.size());
    const io::FolderEntry* data = find_entry(place.entries, job.data_name);
    if (data == nullptr) {
      queue_.add(CheckJob::no_data_file(job.shown));
      return;
    }
    if (data->kind != io::FileKind::regular && data->kind != io::FileKind::symbolic_link) {
      queue_.add(failed(std::move(job.shown), Verdict::unreadable, "not a regular file"));
      return;
    }
    job.folder = place.folder;
    job.progress = progress_;
    job.inf_listed_regular = entry.kind == io::FileKind::regular;
    job.data_listed_regular = data->kind == io::FileKind::regular;
    queue_.add(CheckQueue::Task(std::move(job)));
  }

  static bool is_regular(const io::WalkPlace& place, const io::FolderEntry& entry) {
    if (entry.kind == io::FileKind::regular) return true;
    if (entry.kind != io::FileKind::symbolic_link) return false;
    const auto target = place.folder->stat(entry.name);
    return target && target->kind == io::FileKind::regular;
  }

  CheckQueue& queue_;
  const CheckOptions& options_;
  ProgressLine* progress_;
};

void check_path(const std::string& path, const CheckOptions& options, CheckQueue& queue,
                const std::shared_ptr<const io::Folder>& working, std::size_t open_folders,
                ProgressLine* progress) {
  const auto info = working->stat(path);
  if (info && info->kind == io::FileKind::directory) {
    auto folder = io::Folder::open(path);
    if (!folder) {
      queue.add(
          failed(path, Verdict::unreadable, "cannot read folder: " + error_text(folder.error())));
      return;
    }
    Search search(queue, options, progress);
    io::walk_tree(std::move(*folder), path, search, open_folders);
    return;
  }
  CheckJob job;
  job.folder = working;
  job.data_name = path;
  job.named = true;
  job.progress = progress;
  // A named inf file stands for its data file, when that exists.
  const std::size_t name_start = path.find_last_of(kSeparators) + 1;
  if (is_inf_name(std::string_view(path).substr(name_start))) {
    const std::string data_name = path.substr(0, path.size() - kInfSuffix.size());
    if (working->stat(data_name)) job.data_name = data_name;
  }
  job.shown = job.data_name;
  queue.add(CheckQueue::Task(std::move(job)));
}

// Fills options, or returns the status to end with (help, version, a wrong command line).
std::optional<int> parse_check_options(int argc, const char* const* argv, CheckOptions& options) {
  bool options_ended = false;
  const auto help = [] {
    std::fputs(kHelp, stdout);
    return std::fflush(stdout) == 0 ? 0 : 2;
  };
  const auto unknown = [](std::string_view option) {
    std::fprintf(stderr, "%s: unknown option '%s'\nTry '%s --help'.\n", kProgram,
                 escape_name(option).c_str(), kProgram);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      if (argument.empty()) {
        std::fprintf(stderr, "%s: an empty PATH names no file\n", kProgram);
        return 2;
      }
      for (std::string& path : expand_wildcards(std::string(argument))) {
        options.paths.push_back(std::move(path));
      }
    } else if (argument == "--") {
      options_ended = true;
    } else if (argument == "--quiet") {
      if (options.verbosity == Verbosity::all) options.verbosity = Verbosity::failures;
    } else if (argument == "--status") {
      options.verbosity = Verbosity::none;
    } else if (argument == "--unstamped") {
      options.unstamped = true;
    } else if (argument == "--json") {
      options.format = ReportFormat::json;
    } else if (argument == "--progress") {
      options.progress = ProgressChoice::on;
    } else if (argument == "--no-progress") {
      options.progress = ProgressChoice::off;
    } else if (argument == "--help") {
      return help();
    } else if (argument == "--version") {
      std::printf("%s %s\n", kProgram, kVersion);
      return std::fflush(stdout) == 0 ? 0 : 2;
    } else if (argument[1] == '-') {
      return unknown(argument);
    } else {
      // Short options, alone or together (-qs).
      for (const char letter : argument.substr(1)) {
        if (letter == 'q') {
          if (options.verbosity == Verbosity::all) options.verbosity = Verbosity::failures;
        } else if (letter == 's') {
          options.verbosity = Verbosity::none;
        } else if (letter == 'h') {
          return help();
        } else {
          return unknown(argument);
        }
      }
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
  // The status line goes to a person at a terminal, and never where only the status counts.
  std::optional<ProgressLine> progress;
  if (options.verbosity != Verbosity::none &&
      (options.progress == ProgressChoice::on || (options.progress == ProgressChoice::terminal &&
                                                  io::is_terminal(io::StandardStream::error)))) {
    try {
      progress.emplace(io::terminal_width(io::StandardStream::error));
    } catch (const std::system_error&) {
      // No thread to draw it with (a limit on processes): the check goes on without the line.
    }
  }
  ProgressLine* const line = progress ? &*progress : nullptr;
  Reporter reporter(options.verbosity, options.format, options.unstamped, line);
  {
    const auto working = std::make_shared<const io::Folder>(io::Folder::working());
    // One named file is checked at once; anything more is shared among the workers.
    const auto first = working->stat(options.paths[0]);
    const bool one_file =
        options.paths.size() == 1 && !(first && first->kind == io::FileKind::directory);
    const unsigned workers = one_file ? 0 : default_check_workers();
    const DescriptorBudget budget = descriptor_budget(workers);
    CheckQueue queue(workers, budget.queued_checks,
                     [&reporter](const CheckResult& result) { reporter.report(result); });
    for (const std::string& path : options.paths) {
      check_path(path, options, queue, working, budget.open_folders, line);
    }
    if (line != nullptr) line->set_total(queue.added());
    queue.finish();
  }
  if (line != nullptr) line->stop();
  return reporter.finish();
}

}  // namespace lomvik
