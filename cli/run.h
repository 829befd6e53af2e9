// The command line: Lomvik [-n][-i][-v] filename
#pragma once

namespace lomvik {

struct RunOptions {
  bool new_inf = false;    // -n: create (or empty) the inf file instead of updating it
  bool only_inf = false;   // -i: leave the data file alone, only re-seal the inf file
  bool view_only = false;  // -v: write nothing, print the CRC instead
  int file_index = 1;      // index of the data file's name; equals argc when none was given
};

// Options come before the file name and are matched exactly; the first argument that is not
// "-n", "-i" or "-v" is the data file's name, and everything after it is ignored.
RunOptions parse_options(int argc, const char* const* argv);

// The whole run; returns the exit status, 0 or -1.
int run_command_line(int argc, const char* const* argv);

}  // namespace lomvik
