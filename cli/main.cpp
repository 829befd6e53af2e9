#include "cli/entry.h"
#include "cli/run.h"

LOMVIK_MAIN(lomvik::run_command_line)
