// File access: opening files and folders, what kind of file a name is, reading and writing at
// offsets, advisory locks, and folder listings. This header states what each operation does; each
// platform's part lives in a file of its own (file_posix.cpp, file_windows.cpp).
//
// Errors are system error numbers with the values of <cerrno> on every platform, so that callers
// can name them (strerror) and compare them (ENOENT) without knowing the platform.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace lomvik::io {

// A value, or the error number that says why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit, as a return value
  static Result failure(int error) { return Result(error); }

  explicit operator bool() const noexcept { return value_.has_value(); }
  T& operator*() noexcept { return *value_; }
  const T& operator*() const noexcept { return *value_; }
  T* operator->() noexcept { return &*value_; }
  const T* operator->() const noexcept { return &*value_; }
  // The error number of a failure; 0 for a value.
  int error() const noexcept { return error_; }

 private:
  explicit Result(int error) : error_(error) {}
  std::optional<T> value_;
  int error_ = 0;
};

enum class FileKind {
  regular,
  directory,
  block_device,
  character_device,
  fifo,
  socket,
  symbolic_link,  // only where links are not followed (folder listings)
  other,
};

// Names one file on one file system: two names with the same id are the same file.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

struct FileInfo {
  FileKind kind = FileKind::other;
  std::uint64_t size = 0;        // as the file system reports it; meaningful for regular files
  std::int64_t modified_ns = 0;  // the time of the last change to the content, in nanoseconds
  FileId id;
};

enum class Access {
  read,    // an existing file, read only
  write,   // written; created when missing, but never cut: see File::resize
  update,  // an existing file, read and written in place; never created
};

// Whether opening may wait. A FIFO waits for its other end and some devices wait for a carrier;
// a name the caller does not trust to be a regular file is opened with never, and its kind looked
// at before anything is read.
enum class Blocking { allowed, never };

enum class LockKind { shared, exclusive };

// Owns one open file; the destructor closes it. Move-only.
class File {
 public:
  static Result<File> open(const std::string& name, Access access, Blocking blocking);

  File(File&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  Result<FileInfo> info() const;

  // Reads at the current position and moves it on; fewer bytes than asked only at the end of the
  // file (0 there) or when no more are available yet from a pipe.
  Result<std::size_t> read(std::span<std::uint8_t> bytes);
  // Reads at offset without using the position; fewer bytes than asked only at the end.
  Result<std::size_t> read_at(std::span<std::uint8_t> bytes, std::uint64_t offset) const;
  // Writes every byte at offset; 0 or the error number.
  int write_at(std::span<const char> bytes, std::uint64_t offset);
  // Sets the current position; fails on a pipe, a FIFO or a terminal.
  Result<std::uint64_t> seek(std::uint64_t offset);
  // The offset of the end of the file, as positioning there tells it (the size of a block device).
  Result<std::uint64_t> end_offset();
  // Cuts or extends the file to length bytes.
  int resize(std::uint64_t length);
  // Waits for an advisory lock on the whole file, held until the file is closed. Other processes
  // that lock the same file wait; those that do not are not stopped. 0 or the error number; a file
  // system that has no locks gives 0, and the file is used all the same.
  int lock(LockKind kind);
  // Gives the lock back before the file is closed.
  int unlock();
  // Whether some other open of this file may write to it, as far as the system tells.
  enum class Writers { none, some, unknown };
  Writers writers() const;
  // Closes the file; 0, or the error number when anything written could not be stored.
  int close();

#ifdef _WIN32
  using Handle = void*;
  static constexpr Handle kNoHandle = nullptr;
#else
  using Handle = int;
  static constexpr Handle kNoHandle = -1;
#endif
  explicit File(Handle handle) noexcept : handle_(handle) {}

 private:
  friend class Folder;
  Handle handle_;
};

// The separator of folder names in the paths that this platform's users write.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

struct FolderEntry {
  std::string name;
  // What the listing says the entry is, without following links; other when it does not say.
  FileKind kind = FileKind::other;
};

// An open folder, from which files and subfolders are opened by their names in it, so that no
// path grows longer than a name and a renamed parent does not redirect a walk. Move-only.
class Folder {
 public:
  // The working folder: names are taken as given, relative to it or absolute.
  static Folder working();
  // Opens a named folder; links are followed.
  static Result<Folder> open(const std::string& name);

  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder();

  // A subfolder; a link is not followed (ENOTDIR or ELOOP).
  Result<Folder> open_folder(const std::string& name) const;
  // The folder that holds this one.
  Result<Folder> open_parent() const;
  Result<FileInfo> info() const;
  // Every entry but "." and "..", in the order the system gives them.
  Result<std::vector<FolderEntry>> list() const;
  // What a name in this folder is; a link is followed unless told otherwise.
  Result<FileInfo> stat(const std::string& name, bool follow_links = true) const;
  Result<File> open_file(const std::string& name, Access access, Blocking blocking) const;

 private:
#ifdef _WIN32
  explicit Folder(std::string path) : path_(std::move(path)) {}
  std::string path_;  // UTF-8, with a trailing separator; empty for the working folder
#else
  explicit Folder(int fd) noexcept : fd_(fd) {}
  int fd_;
#endif
};

// How many files and folders this process may hold open at once.
std::size_t open_file_limit();

// Makes the standard streams safe for a run: one that is closed is opened on a device that takes
// nothing, so that no file opened later takes its place and receives what was meant for the
// terminal; and a write to a closed pipe, or beyond the size limit of a file, fails with an error
// that the run reports, instead of ending the process by a signal. Called first in main.
void prepare_standard_streams();

enum class StandardStream { output, error };

// Whether the stream goes to a terminal (a console window on Windows), where a person reads it.
bool is_terminal(StandardStream stream);
// The width of that terminal in characters; 0 when it is not known.
std::size_t terminal_width(StandardStream stream);

}  // namespace lomvik::io
