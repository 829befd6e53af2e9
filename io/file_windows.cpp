// File access on Windows. Implementation here must contain only Windows specific code.
//
// Names arrive as UTF-8 and are opened through the wide API, so that a name in any script works.
// Files are opened with every kind of sharing, as the C library opens them, so that the tool's
// own opens of one file and other programs' never shut each other out.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "io/file.h"

namespace lomvik::io {

namespace {

// The error numbers of <cerrno> for the system's own, as the C library maps them.
int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

int last_error() { return errno_of(GetLastError()); }

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      wide.data(), length);
  return wide;
}

std::string narrow(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string text(static_cast<std::size_t>(length - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  return text;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle for looking at a file or folder, not for reading it.
HANDLE open_for_info(const std::string& name, bool follow_links) {
  const std::wstring wide = widen(name.empty() ? "." : name);
  if (wide.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (!follow_links) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  return CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags,
                     nullptr);
}

std::int64_t nanoseconds_of(FILETIME time) {
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<std::int64_t>(ticks) * 100;
}

// A handle opened with its links followed is never itself a link, whatever attributes it has.
Result<FileInfo> info_of_handle(HANDLE handle, bool links_not_followed) {
  FileInfo info;
  switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
      info.kind = FileKind::character_device;
      return info;
    case FILE_TYPE_PIPE:
      info.kind = FileKind::fifo;
      return info;
    case FILE_TYPE_DISK:
      break;
    default:
      if (GetLastError() != NO_ERROR) return Result<FileInfo>::failure(last_error());
      return info;
  }
  BY_HANDLE_FILE_INFORMATION data{};
  if (!GetFileInformationByHandle(handle, &data)) return Result<FileInfo>::failure(last_error());
  if (links_not_followed && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    info.kind = FileKind::symbolic_link;
  } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    info.kind = FileKind::directory;
  } else {
    info.kind = FileKind::regular;
  }
  info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info.modified_ns = nanoseconds_of(data.ftLastWriteTime);
  info.id = {data.dwVolumeSerialNumber,
             (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow};
  return info;
}

Result<FileInfo> info_of_name(const std::string& name, bool follow_links) {
  const HANDLE handle = open_for_info(name, follow_links);
  if (handle == INVALID_HANDLE_VALUE) return Result<FileInfo>::failure(last_error());
  auto info = info_of_handle(handle, !follow_links);
  CloseHandle(handle);
  return info;
}

OVERLAPPED at_offset(std::uint64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

constexpr DWORD kMaxTransfer = 1U << 30;

}  // namespace

// --- File ---------------------------------------------------------------------------------------

Result<File> File::open(const std::string& name, Access access, Blocking) {
  const std::wstring wide = widen(name);
  if (wide.empty()) return Result<File>::failure(ENOENT);
  DWORD desired = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (access) {
    case Access::read:
      break;
    case Access::write:
      desired = GENERIC_WRITE;
      disposition = OPEN_ALWAYS;
      break;
    case Access::update:
      desired = GENERIC_READ | GENERIC_WRITE;
      break;
  }
  // Opening a pipe or a device here never waits for its other end.
  const HANDLE handle = CreateFileW(wide.c_str(), desired, kShareAll, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Result<File>::failure(last_error());
  return File(handle);
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoHandle) CloseHandle(handle_);
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

File::~File() {
  if (handle_ != kNoHandle) CloseHandle(handle_);
}

Result<FileInfo> File::info() const { return info_of_handle(handle_, false); }

Result<std::size_t> File::read(std::span<std::uint8_t> bytes) {
  DWORD got = 0;
  const auto wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kMaxTransfer));
  if (!ReadFile(handle_, bytes.data(), wanted, &got, nullptr)) {
    // The writer of a pipe has closed it: its end.
    if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) return 0;
    return Result<std::size_t>::failure(last_error());
  }
  return static_cast<std::size_t>(got);
}

Result<std::size_t> File::read_at(std::span<std::uint8_t> bytes, std::uint64_t offset) const {
  std::size_t total = 0;
  while (total < bytes.size()) {
    OVERLAPPED overlapped = at_offset(offset + total);
    DWORD got = 0;
    const auto wanted =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size() - total, kMaxTransfer));
    if (!ReadFile(handle_, bytes.data() + total, wanted, &got, &overlapped)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return Result<std::size_t>::failure(last_error());
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

int File::write_at(std::span<const char> bytes, std::uint64_t offset) {
  std::size_t total = 0;
  while (total < bytes.size()) {
    OVERLAPPED overlapped = at_offset(offset + total);
    DWORD put = 0;
    const auto wanted =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size() - total, kMaxTransfer));
    if (!WriteFile(handle_, bytes.data() + total, wanted, &put, &overlapped)) return last_error();
    if (put == 0) return EIO;
    total += put;
  }
  return 0;
}

Result<std::uint64_t> File::seek(std::uint64_t offset) {
  LARGE_INTEGER distance{};
  distance.QuadPart = static_cast<LONGLONG>(offset);
  LARGE_INTEGER at{};
  if (GetFileType(handle_) != FILE_TYPE_DISK ||
      !SetFilePointerEx(handle_, distance, &at, FILE_BEGIN)) {
    return Result<std::uint64_t>::failure(ESPIPE);
  }
  return static_cast<std::uint64_t>(at.QuadPart);
}

Result<std::uint64_t> File::end_offset() {
  LARGE_INTEGER end{};
  if (GetFileType(handle_) != FILE_TYPE_DISK || !SetFilePointerEx(handle_, {}, &end, FILE_END)) {
    return Result<std::uint64_t>::failure(ESPIPE);
  }
  return static_cast<std::uint64_t>(end.QuadPart);
}

int File::resize(std::uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)) {
    return last_error();
  }
  return 0;
}

int File::lock(LockKind kind) {
  // Windows locks keep other handles from reading and writing the bytes they cover, even this
  // process's own. One byte far beyond any content is locked: whoever locks the same byte waits,
  // and the content stays open to every handle.
  OVERLAPPED overlapped = at_offset(UINT64_MAX - 1);
  const DWORD flags = kind == LockKind::exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
  if (!LockFileEx(handle_, flags, 0, 1, 0, &overlapped)) {
    const DWORD error = GetLastError();
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return 0;
    return errno_of(error);
  }
  return 0;
}

int File::unlock() {
  OVERLAPPED overlapped = at_offset(UINT64_MAX - 1);
  if (!UnlockFileEx(handle_, 0, 1, 0, &overlapped)) {
    const DWORD error = GetLastError();
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return 0;
    return errno_of(error);
  }
  return 0;
}

File::Writers File::writers() const { return Writers::unknown; }

int File::close() {
  const HANDLE handle = std::exchange(handle_, kNoHandle);
  return CloseHandle(handle) ? 0 : last_error();
}

// --- Folder -------------------------------------------------------------------------------------

Folder Folder::working() { return Folder(std::string()); }

Result<Folder> Folder::open(const std::string& name) {
  const auto info = info_of_name(name, true);
  if (!info) return Result<Folder>::failure(info.error());
  if (info->kind != FileKind::directory) return Result<Folder>::failure(ENOTDIR);
  std::string path = name;
  if (!path.empty() && !is_separator(path.back())) path += '\\';
  return Folder(std::move(path));
}

Folder::Folder(Folder&& other) noexcept : path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  path_ = std::move(other.path_);
  return *this;
}

Folder::~Folder() = default;

Result<Folder> Folder::open_folder(const std::string& name) const {
  const auto info = info_of_name(path_ + name, false);
  if (!info) return Result<Folder>::failure(info.error());
  if (info->kind == FileKind::symbolic_link) return Result<Folder>::failure(ELOOP);
  if (info->kind != FileKind::directory) return Result<Folder>::failure(ENOTDIR);
  return Folder(path_ + name + '\\');
}

Result<Folder> Folder::open_parent() const {
  // Windows takes ".." by the letters of a name, so cutting off the last name is the same.
  std::size_t end = path_.size();
  if (end > 0 && is_separator(path_[end - 1])) --end;
  while (end > 0 && !is_separator(path_[end - 1])) --end;
  if (end == 0) return Folder(path_ + "..\\");
  return Folder(path_.substr(0, end));
}

Result<FileInfo> Folder::info() const { return info_of_name(path_, true); }

Result<std::vector<FolderEntry>> Folder::list() const {
  const std::wstring pattern = widen(path_ + "*");
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    return Result<std::vector<FolderEntry>>::failure(last_error());
  }
  std::vector<FolderEntry> entries;
  do {
    if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) {
      continue;
    }
    FolderEntry entry{narrow(found.cFileName), FileKind::regular};
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
         found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT)) {
      entry.kind = FileKind::symbolic_link;
    } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entry.kind = FileKind::directory;
    }
    entries.push_back(std::move(entry));
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES)
    return Result<std::vector<FolderEntry>>::failure(errno_of(error));
  return entries;
}

Result<FileInfo> Folder::stat(const std::string& name, bool follow_links) const {
  return info_of_name(path_ + name, follow_links);
}

Result<File> Folder::open_file(const std::string& name, Access access, Blocking blocking) const {
  return File::open(path_ + name, access, blocking);
}

std::size_t open_file_limit() { return std::size_t{1} << 16; }

namespace {

HANDLE handle_of(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

// Windows hands out handles, never the numbers of the standard streams, and has no signals for
// broken pipes or file sizes.
void prepare_standard_streams() {}

bool is_terminal(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(handle_of(stream), &mode) != 0;
}

std::size_t terminal_width(StandardStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(handle_of(stream), &info)) return 0;
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace lomvik::io
