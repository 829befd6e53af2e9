// File access on POSIX systems. Implementation here must contain only POSIX specific code.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "io/file.h"

namespace lomvik::io {

namespace {

int open_flags(Access access, Blocking blocking) {
  int flags = O_CLOEXEC | O_NOCTTY;
  if (blocking == Blocking::never) flags |= O_NONBLOCK;
  switch (access) {
    case Access::read:
      return flags | O_RDONLY;
    case Access::write:
      return flags | O_WRONLY | O_CREAT;
    case Access::update:
      return flags | O_RDWR;
  }
  return flags | O_RDONLY;
}

FileKind kind_of(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::regular;
  if (S_ISDIR(mode)) return FileKind::directory;
  if (S_ISBLK(mode)) return FileKind::block_device;
  if (S_ISCHR(mode)) return FileKind::character_device;
  if (S_ISFIFO(mode)) return FileKind::fifo;
  if (S_ISSOCK(mode)) return FileKind::socket;
  if (S_ISLNK(mode)) return FileKind::symbolic_link;
  return FileKind::other;
}

FileInfo info_of(const struct stat& st) {
  FileInfo info;
  info.kind = kind_of(st.st_mode);
  info.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
#if defined(__APPLE__)
  const struct timespec& modified = st.st_mtimespec;
#else
  const struct timespec& modified = st.st_mtim;
#endif
  info.modified_ns = static_cast<std::int64_t>(modified.tv_sec) * 1'000'000'000 + modified.tv_nsec;
  info.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return info;
}

Result<FileInfo> info_of_descriptor(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return Result<FileInfo>::failure(errno);
  return info_of(st);
}

Result<File> open_at(int folder, const std::string& name, Access access, Blocking blocking) {
  int fd;
  do {
    fd = openat(folder, name.c_str(), open_flags(access, blocking), 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Result<File>::failure(errno);
  return File(fd);
}

// A descriptor of the folder, or minus the error number.
int open_folder_descriptor(int at, const std::string& name, int extra_flags) {
  int fd;
  do {
    fd = openat(at, name.c_str(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extra_flags);
  } while (fd < 0 && errno == EINTR);
  return fd >= 0 ? fd : -errno;
}

FileKind kind_of_entry(unsigned char type) {
  switch (type) {
    case DT_REG:
      return FileKind::regular;
    case DT_DIR:
      return FileKind::directory;
    case DT_LNK:
      return FileKind::symbolic_link;
    case DT_BLK:
      return FileKind::block_device;
    case DT_CHR:
      return FileKind::character_device;
    case DT_FIFO:
      return FileKind::fifo;
    case DT_SOCK:
      return FileKind::socket;
    default:
      return FileKind::other;
  }
}

}  // namespace

// --- File ---------------------------------------------------------------------------------------

Result<File> File::open(const std::string& name, Access access, Blocking blocking) {
  return open_at(AT_FDCWD, name, access, blocking);
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoHandle) ::close(handle_);
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

File::~File() {
  if (handle_ != kNoHandle) ::close(handle_);
}

Result<FileInfo> File::info() const { return info_of_descriptor(handle_); }

Result<std::size_t> File::read(std::span<std::uint8_t> bytes) {
  for (;;) {
    const ssize_t got = ::read(handle_, bytes.data(), bytes.size());
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) continue;
    // A non-blocking descriptor with nothing to read yet: wait for it like a blocking one.
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const int flags = fcntl(handle_, F_GETFL);
      if (flags >= 0 && (flags & O_NONBLOCK) != 0 &&
          fcntl(handle_, F_SETFL, flags & ~O_NONBLOCK) == 0) {
        continue;
      }
    }
    return Result<std::size_t>::failure(errno);
  }
}

Result<std::size_t> File::read_at(std::span<std::uint8_t> bytes, std::uint64_t offset) const {
  std::size_t total = 0;
  while (total < bytes.size()) {
    const ssize_t got = pread(handle_, bytes.data() + total, bytes.size() - total,
                              static_cast<off_t>(offset + total));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Result<std::size_t>::failure(errno);
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return total;
}

int File::write_at(std::span<const char> bytes, std::uint64_t offset) {
  std::size_t total = 0;
  while (total < bytes.size()) {
    const ssize_t put = pwrite(handle_, bytes.data() + total, bytes.size() - total,
                               static_cast<off_t>(offset + total));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    if (put == 0) return EIO;
    total += static_cast<std::size_t>(put);
  }
  return 0;
}

Result<std::uint64_t> File::seek(std::uint64_t offset) {
  const off_t at = lseek(handle_, static_cast<off_t>(offset), SEEK_SET);
  if (at < 0) return Result<std::uint64_t>::failure(errno);
  return static_cast<std::uint64_t>(at);
}

Result<std::uint64_t> File::end_offset() {
  const off_t end = lseek(handle_, 0, SEEK_END);
  if (end < 0) return Result<std::uint64_t>::failure(errno);
  return static_cast<std::uint64_t>(end);
}

int File::resize(std::uint64_t length) {
  while (ftruncate(handle_, static_cast<off_t>(length)) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int File::lock(LockKind kind) {
  while (flock(handle_, kind == LockKind::exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS) return 0;
    if (errno != EINTR) return errno;
  }
  return 0;
}

int File::unlock() { return flock(handle_, LOCK_UN) == 0 ? 0 : errno; }

File::Writers File::writers() const {
#ifdef __linux__
  // A read lease is granted only while nobody has the file open for writing, and is given back at
  // once. Breaking it would be announced with SIGIO, which ends a process; SIGURG, which does not,
  // stands in for it. Only the file's owner (or a process allowed leases) may ask.
  if (fcntl(handle_, F_SETSIG, SIGURG) != 0) return Writers::unknown;
  if (fcntl(handle_, F_SETLEASE, F_RDLCK) == 0) {
    fcntl(handle_, F_SETLEASE, F_UNLCK);
    return Writers::none;
  }
  return errno == EAGAIN ? Writers::some : Writers::unknown;
#else
  return Writers::unknown;
#endif
}

int File::close() {
  const int fd = std::exchange(handle_, kNoHandle);
  // The descriptor is gone even when close reports an error; it must not be closed again.
  return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

// --- Folder -------------------------------------------------------------------------------------

Folder Folder::working() { return Folder(AT_FDCWD); }

Result<Folder> Folder::open(const std::string& name) {
  const int fd = open_folder_descriptor(AT_FDCWD, name, 0);
  if (fd < 0) return Result<Folder>::failure(-fd);
  return Folder(fd);
}

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, AT_FDCWD)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, AT_FDCWD);
  }
  return *this;
}

Folder::~Folder() {
  if (fd_ >= 0) ::close(fd_);
}

Result<Folder> Folder::open_folder(const std::string& name) const {
  const int fd = open_folder_descriptor(fd_, name, O_NOFOLLOW);
  if (fd < 0) return Result<Folder>::failure(-fd);
  return Folder(fd);
}

Result<Folder> Folder::open_parent() const {
  const int fd = open_folder_descriptor(fd_, "..", 0);
  if (fd < 0) return Result<Folder>::failure(-fd);
  return Folder(fd);
}

Result<FileInfo> Folder::info() const { return info_of_descriptor(fd_); }

Result<std::vector<FolderEntry>> Folder::list() const {
  // The listing reads through a descriptor of its own, so that this folder's stays usable.
  const int fd = openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Result<std::vector<FolderEntry>>::failure(errno);
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    const int error = errno;
    ::close(fd);
    return Result<std::vector<FolderEntry>>::failure(error);
  }
  std::vector<FolderEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({std::string(name), kind_of_entry(entry->d_type)});
  }
  const int error = errno;
  closedir(dir);
  if (error != 0) return Result<std::vector<FolderEntry>>::failure(error);
  return entries;
}

Result<FileInfo> Folder::stat(const std::string& name, bool follow_links) const {
  struct stat st {};
  if (fstatat(fd_, name.c_str(), &st, follow_links ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
    return Result<FileInfo>::failure(errno);
  }
  return info_of(st);
}

Result<File> Folder::open_file(const std::string& name, Access access, Blocking blocking) const {
  return open_at(fd_, name, access, blocking);
}

namespace {

int descriptor_of(StandardStream stream) {
  return stream == StandardStream::output ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

void prepare_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // A read finds nothing, and a write fails, as on the stream that was closed.
    const char* device = fd == STDIN_FILENO ? "/dev/null" : "/dev/full";
    const int opened = ::open(device, fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      ::close(opened);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

bool is_terminal(StandardStream stream) { return isatty(descriptor_of(stream)) == 1; }

std::size_t terminal_width(StandardStream stream) {
  struct winsize size {};
  if (ioctl(descriptor_of(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

std::size_t open_file_limit() {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1 << 20;
  return static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace lomvik::io
