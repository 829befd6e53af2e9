// Verifying a data file against its inf file: the inf file is well formed, its seal matches its
// own content, and its data CRC matches the data file.
#pragma once

#include <string>

#include "../crc/crc16.h"

namespace lomvik {

enum class CheckProblem {
  none,
  inf_unreadable,   // the inf file cannot be opened or read to its end
  inf_malformed,    // shorter than 8 bytes, or bytes 0-7 are not lowercase hexadecimal digits
  data_unreadable,  // the data file cannot be opened or read to its end
};

struct InfCheck {
  CheckProblem problem = CheckProblem::none;
  int error = 0;             // the system's error number for an unreadable file, when it gave one
  std::size_t inf_size = 0;  // for a malformed inf file
  // Filled when problem is none.
  CrcValue stored_seal = 0;  // bytes 0-3
  CrcValue body_crc = 0;     // the CRC of bytes 4 to the end
  CrcValue stored_data = 0;  // bytes 4-7
  CrcValue data_crc = 0;     // the CRC of the data file

  bool seal_matches() const { return stored_seal == body_crc; }
  bool data_matches() const { return stored_data == data_crc; }
  bool passed() const { return problem == CheckProblem::none && seal_matches() && data_matches(); }
};

// Reads the inf file (inf_name_for(data_name)) and then, if it is well formed, the data file.
InfCheck check_against_inf(const std::string& data_name);

}  // namespace lomvik
