// Lomvik-check [options] PATH...: verifies data files against their inf files.
#pragma once

namespace lomvik {

// The whole run; returns 0 when every file passed, 1 when a check found a mismatch and every file
// could be read, 2 when anything could not be read or was malformed, when no file was checked, or
// when the command line was wrong.
int run_check(int argc, const char* const* argv);

}  // namespace lomvik
