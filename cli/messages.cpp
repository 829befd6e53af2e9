#include "cli/messages.h"

#include <cstdio>

namespace lomvik {

namespace {

#define LOMVIK_BANNER "Lomvik v01.00: by velmoth3. ZK8/ZK9 crc calculator.\n\n"

constexpr char kUsage[] = LOMVIK_BANNER
    "use:\n"
    "  Lomvik [-n][-i][-v] filename\n"
    "\n"
    "options:\n"
    "  -n = new .inf file\n"
    "  -i = only .inf file crc\n"
    "  -v = only view result, no write to inf file\n";

constexpr char kIoError[] = LOMVIK_BANNER "ERROR while read/write .INF file\n";

constexpr char kCrcFormat[] = LOMVIK_BANNER "CRC = %04x\n";

#undef LOMVIK_BANNER

// True when everything written to standard output so far has left the process.
bool output_delivered() { return std::fflush(stdout) == 0 && std::ferror(stdout) == 0; }

}  // namespace

int print_usage() {
  std::fputs(kUsage, stdout);
  output_delivered();
  return -1;
}

int print_io_error() {
  std::fputs(kIoError, stdout);
  output_delivered();
  return -1;
}

int print_crc(CrcValue crc) {
  const bool written = std::printf(kCrcFormat, static_cast<unsigned>(crc)) > 0;
  return written && output_delivered() ? 0 : -1;
}

}  // namespace lomvik
