#include <lomvik/crc/byte_stream.h>
#include <lomvik/crc/crc16.h>
#include <lomvik/inf/inf_check.h>
#include <lomvik/inf/inf_file.h>

#include <cstdio>
#include <cstring>

int main() {
  const char text[] = "abc";
  const lomvik::CrcValue crc =
      lomvik::crc_extend(0, {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)});
  std::printf("%s %s\n", lomvik::format_crc(crc).c_str(), lomvik::inf_name_for("image").c_str());
  return crc == 0x59D2 ? 0 : 1;
}
