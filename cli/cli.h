// The command line `qt70otp`: options shared by every verb, the exit
// statuses, and the verbs.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace qt70::cli {

// Exit statuses of every verb.
enum Exit : int {
  kExitOk = 0,
  kExitRejected = 1,     // configuration rejected by the reader or by validation
  kExitUsage = 2,        // usage error, missing image file, wrong size, unknown fault
  kExitLocked = 3,       // chip locked
  kExitDevice = 4,       // no OTP access, port busy or gone, controller silent, image unreadable
  kExitNotProgrammed = 5,  // programming ended with bits not programmed
  kExitNoFit = 6,        // refused before programming: the request does not fit the OTP
};

struct Options {
  std::string verb;
  std::vector<std::string> positional;  // e.g. CONFIG.xml
  std::string image;                    // --image FILE
  std::string port;                     // --port NAME
  std::vector<std::string> faults;      // --fault SPEC (repeatable)
  std::string xml_out;                  // --xml OUT.xml
  std::string ports_dir;                // --ports-dir DIR
  bool yes = false;                     // --yes
  int verbose = 0;                      // --verbose N
};

// Prints the usage text to stderr and returns kExitUsage.
int Usage(const std::string& problem);

int cmd_dump(const Options& options);
int cmd_plan(const Options& options);
int cmd_program(const Options& options);
int cmd_ports(const Options& options);
int cmd_read(const Options& options);

}  // namespace qt70::cli
