#include "cli.h"

namespace qt70::cli {

int cmd_read(const Options&) { return Usage("read is not available in this build"); }

}  // namespace qt70::cli
