#include "cli/check.h"
#include "cli/entry.h"

LOMVIK_MAIN(lomvik::run_check)
