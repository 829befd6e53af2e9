#include "crc/byte_stream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lomvik {

namespace {

constexpr std::size_t kReadBlock = std::size_t{128} << 10;
// Large files are read by two threads, in alternate segments of this size.
constexpr std::uint64_t kSegment = std::uint64_t{32} << 20;

const char* mode_text(OpenMode mode) {
  switch (mode) {
    case OpenMode::read:
      return "rb";
    case OpenMode::create:
      return "wb";
    case OpenMode::update:
      return "r+b";
  }
  return "rb";
}

#ifdef _WIN32
// Names arrive as UTF-8; the wide API opens a name in any script.
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

std::FILE* open_file(const std::string& name, OpenMode mode) {
  const std::wstring wide_name = widen(name);
  if (wide_name.empty()) return nullptr;
  const std::string narrow_mode = mode_text(mode);
  const std::wstring wide_mode(narrow_mode.begin(), narrow_mode.end());
  return _wfopen(wide_name.c_str(), wide_mode.c_str());
}

bool is_directory(std::FILE*) { return false; }  // opening a directory fails on Windows
int seek_to(std::FILE* file, std::int64_t offset, int origin) {
  return _fseeki64(file, offset, origin);
}
std::int64_t tell(std::FILE* file) { return _ftelli64(file); }
#else
std::FILE* open_file(const std::string& name, OpenMode mode) {
  return std::fopen(name.c_str(), mode_text(mode));
}

bool is_directory(std::FILE* file) {
  struct stat info {};
  return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}
int seek_to(std::FILE* file, std::int64_t offset, int origin) {
  return fseeko(file, static_cast<off_t>(offset), origin);
}
std::int64_t tell(std::FILE* file) { return static_cast<std::int64_t>(ftello(file)); }
#endif

}  // namespace

std::optional<ByteStream> ByteStream::open(const std::string& name, OpenMode mode) {
  std::FILE* file = open_file(name, mode);
  if (file == nullptr) return std::nullopt;
  if (is_directory(file)) {
    std::fclose(file);
    errno = EISDIR;
    return std::nullopt;
  }
  // Reads go in large blocks straight into the caller's buffer; writes are small and buffered.
  if (mode == OpenMode::read) std::setvbuf(file, nullptr, _IONBF, 0);
  return ByteStream(file);
}

ByteStream::ByteStream(ByteStream&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}

ByteStream& ByteStream::operator=(ByteStream&& other) noexcept {
  if (this != &other) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::exchange(other.file_, nullptr);
  }
  return *this;
}

ByteStream::~ByteStream() {
  if (file_ != nullptr) std::fclose(file_);
}

std::optional<std::uint64_t> ByteStream::size() {
  if (seek_to(file_, 0, SEEK_END) != 0) return std::nullopt;
  const std::int64_t end = tell(file_);
  if (end < 0) return std::nullopt;
  return static_cast<std::uint64_t>(end);
}

bool ByteStream::seek(std::uint64_t offset) {
  return seek_to(file_, static_cast<std::int64_t>(offset), SEEK_SET) == 0;
}

std::size_t ByteStream::read(std::span<std::uint8_t> bytes) {
  return std::fread(bytes.data(), 1, bytes.size(), file_);
}

bool ByteStream::read_failed() const { return std::ferror(file_) != 0; }

bool ByteStream::write(std::span<const char> bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

bool ByteStream::close() {
  std::FILE* file = std::exchange(file_, nullptr);
  const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
  const bool closed = std::fclose(file) == 0;
  return flushed && closed;
}

namespace {

constexpr std::align_val_t kBufferAlignment{4096};

struct AlignedDelete {
  void operator()(std::uint8_t* p) const { ::operator delete[](p, kBufferAlignment); }
};

// Page-aligned: the system copies into an aligned buffer several times faster.
std::unique_ptr<std::uint8_t[], AlignedDelete> make_read_buffer(std::size_t size) {
  return std::unique_ptr<std::uint8_t[], AlignedDelete>(
      static_cast<std::uint8_t*>(::operator new[](size, kBufferAlignment)));
}

StreamCrc crc_of_stream_sequential(ByteStream& stream, std::optional<std::uint64_t> count) {
  // A small file gets a small buffer: checking many small files costs their opening, not ours.
  constexpr std::uint64_t kPage = static_cast<std::uint64_t>(kBufferAlignment);
  const auto block = static_cast<std::size_t>(
      count ? std::min<std::uint64_t>(kReadBlock, (*count + kPage - 1) / kPage * kPage)
            : kReadBlock);
  const auto buffer = make_read_buffer(block);
  CrcValue crc = 0;
  std::uint64_t remaining = count.value_or(UINT64_MAX);
  while (remaining > 0) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(block, remaining));
    const std::size_t got = stream.read({buffer.get(), wanted});
    crc = crc_extend(crc, {buffer.get(), got});
    remaining -= got;
    if (got < wanted) {
      // Missing bytes: the stream ended before the count, or a read failed.
      if (stream.read_failed() || count.has_value()) return {false, 0};
      break;
    }
  }
  return {true, crc};
}

#ifndef _WIN32

// Reads length bytes at offset; false when the file ends before or a read fails.
bool read_exactly(int fd, std::uint8_t* buffer, std::size_t length, std::uint64_t offset) {
  while (length > 0) {
    const ssize_t got = pread(fd, buffer, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    length -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

// Two threads each read and checksum every other segment of the range, each on its own core, and
// the segment CRCs are combined. Copying out of the page cache is what limits a single thread; two
// copy nearly twice as fast, and no data crosses from one core to the other.
StreamCrc crc_of_range_in_parallel(int fd, std::uint64_t offset, std::uint64_t count) {
  std::atomic<bool> failed{false};
  const auto work = [fd, offset, count, &failed](std::uint64_t first_segment, CrcValue& total) {
    const auto buffer = make_read_buffer(kReadBlock);
    for (std::uint64_t start = first_segment * kSegment; start < count; start += 2 * kSegment) {
      const std::uint64_t end = std::min(count, start + kSegment);
      CrcValue crc = 0;
      for (std::uint64_t at = start; at < end; at += kReadBlock) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, end - at));
        if (failed.load(std::memory_order_relaxed) ||
            !read_exactly(fd, buffer.get(), length, offset + at)) {
          failed.store(true, std::memory_order_relaxed);
          return;
        }
        crc = crc_extend(crc, {buffer.get(), length});
      }
      // Each segment's CRC, shifted over the bytes that follow it, adds into the whole.
      total ^= crc_combine(crc, 0, count - end);
    }
  };
  CrcValue totals[2] = {0, 0};
  std::thread helper(work, 1, std::ref(totals[1]));
  work(0, totals[0]);
  helper.join();
  if (failed) return {false, 0};
  return {true, static_cast<CrcValue>(totals[0] ^ totals[1])};
}

bool is_regular_file(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

#endif  // _WIN32

}  // namespace

StreamCrc crc_of_stream(ByteStream& stream, std::optional<std::uint64_t> count) {
#ifndef _WIN32
  if (count && *count >= 2 * kSegment && std::thread::hardware_concurrency() >= 2) {
    const int fd = fileno(stream.native());
    const std::int64_t position = tell(stream.native());
    if (position >= 0 && is_regular_file(fd)) {
      const StreamCrc result =
          crc_of_range_in_parallel(fd, static_cast<std::uint64_t>(position), *count);
      if (result.ok && !stream.seek(static_cast<std::uint64_t>(position) + *count)) {
        return {false, 0};
      }
      return result;
    }
  }
#endif
  return crc_of_stream_sequential(stream, count);
}

StreamCrc crc_from_offset(ByteStream& stream, std::uint64_t offset) {
  if (const auto size = stream.size()) {
    if (*size <= offset) return {true, 0};
    if (!stream.seek(offset)) return {false, 0};
    return crc_of_stream(stream, *size - offset);
  }
  // Not positionable: skip the first bytes by reading them.
  std::uint8_t skipped[64];
  for (std::uint64_t left = offset; left > 0;) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof skipped, left));
    const std::size_t got = stream.read({skipped, wanted});
    if (stream.read_failed()) return {false, 0};
    if (got < wanted) return {true, 0};
    left -= got;
  }
  return crc_of_stream(stream, std::nullopt);
}

}  // namespace lomvik
