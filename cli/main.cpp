// qt70otp: the command line of the QT70L5530 OTP configuration tool.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "cli.h"

namespace qt70::cli {

namespace {

constexpr const char* kUsage =
    "usage: qt70otp VERB [options]\n"
    "  dump    (--image FILE | --port NAME)            print the 512-byte OTP image\n"
    "  plan    CONFIG.xml (--image FILE | --port NAME)  show what programming would burn\n"
    "  program CONFIG.xml (--image FILE | --port NAME) [--yes]\n"
    "                                                  program the chip once and lock it\n"
    "  read    (--image FILE | --port NAME) [--xml OUT.xml]\n"
    "                                                  show (and save) the chip's settings\n"
    "  ports                                           list the ports present\n"
    "options:\n"
    "  --image FILE      an emulated chip in this process, on a 512- or 1024-byte image file\n"
    "  --port NAME       a listed port (see `qt70otp ports`)\n"
    "  --fault SPEC      a fault of the emulated chip (repeatable): stuck=ADDR.BIT, stuck2=ADDR.BIT,\n"
    "                    weak=ADDR.BIT.N, no-otp, reject-reg, unplug-after=N, busy=N, hang-after=N,\n"
    "                    latency=US\n"
    "  --ports-dir DIR   the folder of emulated ports\n"
    "  --verbose N       trace level of the engine's diagnostic lines\n"
    "  --yes             do not ask before programming\n"
    "exit status: 0 ok, 1 configuration rejected, 2 usage, 3 chip locked, 4 device or port error,\n"
    "             5 bits not programmed, 6 configuration does not fit the chip's OTP\n";

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < 0 || parsed > 1000) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "qt70otp: " << problem << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage("no verb given");
  Options options;
  options.verb = argv[1];
  if (options.verb == "--help" || options.verb == "-h" || options.verb == "help") {
    std::cout << kUsage;
    return kExitOk;
  }
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (arg == "--image") {
      if (!value(options.image) || options.image.empty()) return Usage("--image needs a file");
    } else if (arg == "--port") {
      if (!value(options.port) || options.port.empty()) return Usage("--port needs a name");
    } else if (arg == "--fault") {
      std::string spec;
      if (!value(spec)) return Usage("--fault needs a spec");
      options.faults.push_back(spec);
    } else if (arg == "--xml") {
      if (!value(options.xml_out) || options.xml_out.empty()) return Usage("--xml needs a file");
    } else if (arg == "--ports-dir") {
      if (!value(options.ports_dir) || options.ports_dir.empty())
        return Usage("--ports-dir needs a folder");
    } else if (arg == "--verbose") {
      std::string level;
      if (!value(level) || !ParseInt(level.c_str(), options.verbose))
        return Usage("--verbose needs a level from 0 to 1000");
    } else if (arg == "--yes") {
      options.yes = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else {
      options.positional.push_back(arg);
    }
  }

  if (options.verb == "dump") return cmd_dump(options);
  if (options.verb == "plan") return cmd_plan(options);
  if (options.verb == "program") return cmd_program(options);
  if (options.verb == "read") return cmd_read(options);
  if (options.verb == "ports") return cmd_ports(options);
  return Usage("unknown verb " + options.verb);
}

}  // namespace qt70::cli

int main(int argc, char** argv) { return qt70::cli::Run(argc, argv); }
