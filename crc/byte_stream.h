// Files as binary byte streams: open in one of three modes, 64-bit positions, block reads and
// writes, and the CRC of a file's bytes from an offset to its end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "crc16.h"

namespace lomvik {

enum class OpenMode {
  read,    // "rb": an existing file, read only
  create,  // "wb": created, or cut to length 0
  update,  // "r+b": an existing file, read and written in place, never created or cut
};

// Owns one open file; the destructor closes it. Move-only.
class ByteStream {
 public:
  // Fails (empty) when the file cannot be opened in that mode, or when it is a directory.
  static std::optional<ByteStream> open(const std::string& name, OpenMode mode);

  ByteStream(ByteStream&& other) noexcept;
  ByteStream& operator=(ByteStream&& other) noexcept;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
  ~ByteStream();

  // The size taken by positioning at the end; empty when the file cannot be positioned (a pipe,
  // a terminal). Leaves the position at the end.
  std::optional<std::uint64_t> size();
  bool seek(std::uint64_t offset);
  // Reads up to bytes.size() bytes; fewer only at the end of the file or on an error.
  std::size_t read(std::span<std::uint8_t> bytes);
  bool read_failed() const;
  bool write(std::span<const char> bytes);
  // Flushes and closes; false when anything written could not be stored.
  bool close();

  std::FILE* native() const noexcept { return file_; }

 private:
  explicit ByteStream(std::FILE* file) noexcept : file_(file) {}
  std::FILE* file_;
};

struct StreamCrc {
  bool ok;       // every byte that was due was read
  CrcValue crc;  // meaningful only when ok
};

// The CRC of count bytes read from the stream's current position, starting from 0. Without a count
// the stream is read to its end. Fails when fewer than count bytes can be read or a read fails:
// missing bytes never enter the CRC.
StreamCrc crc_of_stream(ByteStream& stream, std::optional<std::uint64_t> count);

// The CRC of every byte from offset to the end of the file. The size is taken by positioning at
// the end; a file that cannot be positioned is read from offset to its end instead. A file no
// longer than offset gives 0.
StreamCrc crc_from_offset(ByteStream& stream, std::uint64_t offset);

}  // namespace lomvik
