// The inf file: a text file beside the data file. Bytes 0-3 hold the inf CRC (the CRC of byte 4
// to the end) and bytes 4-7 the data CRC, each as four lowercase hexadecimal digits; any bytes
// after that are a free tail that is never interpreted.
#pragma once

#include <string>
#include <string_view>

#include "../crc/crc16.h"

namespace lomvik {

enum class InfResult { ok, io_error };

struct InfCrc {
  InfResult result;
  CrcValue crc;  // meaningful only with InfResult::ok
};

// The data file's name with ".inf" appended.
std::string inf_name_for(std::string_view data_name);

// Creates the inf file, or empties an existing one, and writes "0000", the data CRC and a line
// feed.
InfResult stamp_new_inf(const std::string& inf_name, CrcValue data_crc);

// Writes "0000" and the data CRC over bytes 0-7 of an existing inf file; the rest stays.
InfResult stamp_existing_inf(const std::string& inf_name, CrcValue data_crc);

// The CRC of the inf file from byte 4 to its end (0 for a file of four bytes or fewer).
InfCrc inf_body_crc(const std::string& inf_name);

// Writes the inf CRC over bytes 0-3 of an existing inf file.
InfResult seal_inf(const std::string& inf_name, CrcValue inf_crc);

}  // namespace lomvik
