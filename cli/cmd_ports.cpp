#include "cli.h"

namespace qt70::cli {

int cmd_ports(const Options&) { return Usage("ports is not available in this build"); }

}  // namespace qt70::cli
