// The tool's three messages. Each goes to standard output in one write and returns the status
// that ends the run.
#pragma once

#include "crc/crc16.h"

namespace lomvik {

int print_usage();
int print_io_error();
// 0, or -1 when the result could not be written out.
int print_crc(CrcValue crc);

}  // namespace lomvik
