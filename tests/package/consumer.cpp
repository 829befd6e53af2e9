#include <lomvik/crc/crc16.h>
#include <lomvik/inf/file_crc.h>
#include <lomvik/inf/inf_check.h>
#include <lomvik/inf/inf_file.h>
#include <lomvik/io/file.h>

#include <cstdio>
#include <cstring>

int main(int, char** argv) {
  const char text[] = "abc";
  const lomvik::CrcValue crc =
      lomvik::crc_extend(0, {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)});
  std::printf("%s %s\n", lomvik::format_crc(crc).c_str(), lomvik::inf_name_for("image").c_str());
  // This very program, read through the library's file access.
  auto self =
      lomvik::io::File::open(argv[0], lomvik::io::Access::read, lomvik::io::Blocking::never);
  if (!self) return 1;
  const auto info = self->info();
  if (!info || !lomvik::crc_of_file(*self, *info, 0, lomvik::ReadOptions{}).ok()) return 1;
  return crc == 0x59D2 ? 0 : 1;
}
