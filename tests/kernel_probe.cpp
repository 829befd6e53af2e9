// Prints the name of the kernel crc_extend uses, so that a test can see which one
// LOMVIK_CRC_KERNEL selected in a process of its own.
//
//   lomvik_kernel_probe [NAME]
//
// With NAME, exits 77 (a skipped test) without printing the choice when this CPU cannot run the
// kernel NAME, or when it is not built into this program.
#include <iostream>

#include "crc/crc16_internal.h"

int main(int argc, char** argv) {
  using namespace lomvik::internal;
  if (argc > 1 && find_usable_kernel(argv[1]) == nullptr) {
    std::cerr << "this CPU cannot run the " << argv[1] << " kernel\n";
    return 77;
  }
  std::cout << selected_kernel().name << '\n';
  return 0;
}
