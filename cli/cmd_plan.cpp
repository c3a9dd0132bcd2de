#include "cli.h"

namespace qt70::cli {

int cmd_plan(const Options&) { return Usage("plan is not available in this build"); }

}  // namespace qt70::cli
