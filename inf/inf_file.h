// The inf file: a text file beside the data file. Bytes 0-3 hold the inf CRC (the CRC of byte 4
// to the end) and bytes 4-7 the data CRC, each as four lowercase hexadecimal digits; any bytes
// after that are a free tail that is never interpreted.
//
// Every operation opens the inf file without waiting and works on it only when it is a regular
// file and not the data file itself (a link to it): anything else is an io_error, and nothing is
// written to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../crc/crc16.h"
#include "../io/file.h"

namespace lomvik {

enum class InfResult { ok, io_error };

struct InfCrc {
  InfResult result;
  CrcValue crc;  // meaningful only with InfResult::ok
};

// The data file, when it exists: the inf file must not be the same file.
using DataFileId = std::optional<io::FileId>;

// The data file's name with ".inf" appended.
std::string inf_name_for(std::string_view data_name);

// Locks an open inf file and tells what it is once locked. A run of Lomvik that creates the inf
// file locks it right after, and the new file is empty until then: a shared lock on an empty file
// is given back and taken again after a moment, a few times, so that a reader waits for that run
// instead of reading the file half made.
io::Result<io::FileInfo> lock_inf_file(io::File& file, io::LockKind kind);

// Opens the inf file for a lock held through a run (lock_inf_file), creating it when create is
// set. Empty when it cannot be opened or is not a proper inf file.
std::optional<io::File> lock_inf(const std::string& inf_name, io::LockKind kind, bool create,
                                 const DataFileId& data_file);

// Creates the inf file, or empties an existing one, and writes "0000", the data CRC and a line
// feed.
InfResult stamp_new_inf(const std::string& inf_name, CrcValue data_crc,
                        const DataFileId& data_file);

// Writes "0000" and the data CRC over bytes 0-7 of an existing inf file; the rest stays.
InfResult stamp_existing_inf(const std::string& inf_name, CrcValue data_crc,
                             const DataFileId& data_file);

// The CRC of the inf file from byte 4 to its end (0 for a file of four bytes or fewer). An inf file
// that cannot be read to its end, or changes while it is read, is an io_error.
InfCrc inf_body_crc(const std::string& inf_name, const DataFileId& data_file);

// Writes the inf CRC over bytes 0-3 of an existing inf file.
InfResult seal_inf(const std::string& inf_name, CrcValue inf_crc, const DataFileId& data_file);

}  // namespace lomvik
