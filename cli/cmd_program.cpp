#include "cli.h"

namespace qt70::cli {

int cmd_program(const Options&) { return Usage("program is not available in this build"); }

}  // namespace qt70::cli
