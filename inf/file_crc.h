// The CRC of a file's bytes. How much is read follows from what the file is, and a CRC is only
// ever given for bytes that were really read.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "../crc/crc16.h"
#include "../io/file.h"

namespace lomvik {

enum class ReadExtent {
  reported_size,  // a regular file with a size: exactly that many bytes
  end_offset,     // a block device: up to the end that positioning there gives
  to_end,         // anything else (a pseudo file of size 0, a device, a pipe): until no more come
  refused,        // a folder: nothing to read
};

ReadExtent read_extent(const io::FileInfo& info);

enum class FileCrcProblem {
  none,
  read_failed,  // a read failed; error tells why
  ended_early,  // the file held fewer bytes than its size said
  changed,      // a regular file whose size or time of change moved while it was read
};

struct FileCrc {
  FileCrcProblem problem = FileCrcProblem::none;
  int error = 0;             // the system's error number with read_failed
  CrcValue crc = 0;          // with none: the CRC of the bytes read
  std::uint64_t length = 0;  // with none: how many bytes were read

  bool ok() const { return problem == FileCrcProblem::none; }
};

// How a regular file that is written to while it is read is caught (it fails as changed).
enum class ChangeCheck {
  none,        // not at all: it is read under a lock that keeps its writers out
  after_read,  // its size and time of change are compared after the read with before it
  // the same, and it may not be open for writing elsewhere when the read begins (where the system
  // tells): a write that had begun before it was opened moves neither size nor time afterwards
  strict,
};

struct ReadOptions {
  ChangeCheck change_check = ChangeCheck::after_read;
  std::span<std::uint8_t> head;  // the first bytes read are copied here, as many as fit
  // When set, every block read is added here as it is read (for a progress display).
  std::atomic<std::uint64_t>* bytes_read = nullptr;
};

// The CRC of the file's bytes from offset to its end. info is what the file was when it was opened
// (File::info).
FileCrc crc_of_file(io::File& file, const io::FileInfo& info, std::uint64_t offset,
                    const ReadOptions& options);

}  // namespace lomvik
