// Verifying a data file against its inf file: the inf file is well formed, its seal matches its
// own content, and its data CRC matches the data file.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "../crc/crc16.h"
#include "../io/file.h"
#include "file_crc.h"

namespace lomvik {

enum class CheckProblem {
  none,
  inf_unreadable,    // the inf file cannot be opened or read to its end
  inf_not_regular,   // the inf file is a folder, a FIFO, a device or a socket
  inf_malformed,     // shorter than 8 bytes, or bytes 0-7 are not lowercase hexadecimal digits
  data_unreadable,   // the data file cannot be opened or read to its end
  data_not_regular,  // the data file is a folder, a FIFO, a device or a socket
};

struct InfCheck {
  CheckProblem problem = CheckProblem::none;
  // For an unreadable file: how reading failed, and the system's error number with read_failed.
  FileCrcProblem read_problem = FileCrcProblem::none;
  int error = 0;
  std::size_t inf_size = 0;  // for a malformed inf file: the bytes it holds, up to 8
  // Filled when problem is none.
  CrcValue stored_seal = 0;  // bytes 0-3
  CrcValue body_crc = 0;     // the CRC of bytes 4 to the end
  CrcValue stored_data = 0;  // bytes 4-7
  CrcValue data_crc = 0;     // the CRC of the data file
  std::uint64_t data_length = 0;

  bool seal_matches() const { return stored_seal == body_crc; }
  bool data_matches() const { return stored_data == data_crc; }
  bool passed() const { return problem == CheckProblem::none && seal_matches() && data_matches(); }
};

struct CheckTarget {
  const io::Folder& folder;  // the names below are in this folder
  std::string data_name;     // the inf file's name is this with ".inf" appended
  // A folder listing that named the file a regular file spares looking at it before it is opened;
  // a file not known to be regular is looked at first, so that no FIFO or device is opened.
  bool inf_listed_regular = false;
  bool data_listed_regular = false;
  // A block device is read only when the user named it; a folder search leaves it alone.
  bool block_device_allowed = false;
  // When set, every block of the data file is added here as it is read.
  std::atomic<std::uint64_t>* bytes_read = nullptr;
};

// Reads the inf file under a shared lock (a run of Lomvik that writes it takes turns with this)
// and then, if it is well formed, the data file.
InfCheck check_against_inf(const CheckTarget& target);

}  // namespace lomvik
