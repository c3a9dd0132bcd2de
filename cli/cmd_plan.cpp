// qt70otp plan CONFIG.xml: the dry run. Reads and decodes the chip and
// builds the write list exactly as a programming run would, prints it with
// a short summary, and programs nothing.

#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli.h"
#include "engine/trace.h"
#include "run_exit.h"
#include "target.h"

namespace qt70::cli {

namespace {

void PrintSummary(const COtpEngine& engine) {
  const unsigned before = engine.m_devAddressValues.count;
  const unsigned after = before + engine.m_nPairsQueued + engine.m_nPairOverflow;
  std::printf("Summary: %u write-list entries (of %u).\n",
              engine.m_nWriteCount + engine.m_nWriteOverflow, kListCapacity);
  std::printf("Address/value pairs: %u used before, %u after (of %u).\n", before, after, kMaxPairs);

  // Fields that cannot take their value in place go to one pair per byte.
  std::printf("Fields written as pairs instead of their primary copy:");
  if (engine.m_nOverrideCount == 0) std::printf(" none");
  for (uint32_t i = 0; i < engine.m_nOverrideCount;) {
    const char* name = engine.m_overrideComment[i];
    uint32_t n = 0;
    while (i < engine.m_nOverrideCount && engine.m_overrideComment[i] == name) ++i, ++n;
    std::printf("%s %s (%u pair%s)", i == n ? "" : ",", name, n, n == 1 ? "" : "s");
  }
  std::printf(".\n");

  bool conflict = false;
  for (const mlc_tag& tag : engine.m_tags) {
    const bool err = tag.type == TYPE_MLC8   ? static_cast<const mlc_8*>(tag.record)->err != 0
                     : tag.type == TYPE_MLC16 ? static_cast<const mlc_16*>(tag.record)->err != 0
                                              : false;
    if (!err) continue;
    std::printf("%s %s", conflict ? "," : "Conflicts, left as the chip holds them:", tag.name);
    conflict = true;
  }
  if (conflict) std::printf(".\n");
  if (engine.m_nMissingFields)
    std::printf("Fields missing from a valid-flag group: %d (see the ERROR lines above).\n",
                engine.m_nMissingFields);
  if (!engine.list_fits()) {
    char shortfall[256];
    engine.describe_shortfall(shortfall, sizeof shortfall);
    std::printf("Does not fit the chip's remaining OTP: %s.\n", shortfall);
  }
  std::printf("Nothing was programmed.\n");
}

}  // namespace

int cmd_plan(const Options& options) {
  if (options.positional.size() != 1) return Usage("plan needs exactly one CONFIG.xml");
  Session session;
  if (const int status = OpenTarget(options, session); status != kExitOk) return status;

  COtpEngine& engine = session.engine;
  session.files.m_strXmlFile = options.positional[0];
  if (!engine.prepare_run()) return ExitForRun(engine, session.files);

  // A trace level above 1 has printed the list already, as the run does.
  if (verbose <= 1) engine.print_otp_write_list();
  std::fflush(stdout);
  PrintSummary(engine);
  std::fflush(stdout);

  // What the run would say next, in the order it would say it.
  if (engine.m_bDevLocked) {
    session.ui.MessageBox("ERROR: Device is locked.  Stopping Now.", "Error", MB_ICONERROR);
    return kExitLocked;
  }
  if (!engine.list_fits()) {
    char shortfall[256], text[400];
    engine.describe_shortfall(shortfall, sizeof shortfall);
    std::snprintf(text, sizeof text,
                  "ERROR: The configuration does not fit the chip's remaining OTP: %s.  "
                  "Nothing was programmed.",
                  shortfall);
    session.ui.MessageBox(text, "Error", MB_ICONERROR);
    return kExitNoFit;
  }
  return kExitOk;
}

}  // namespace qt70::cli
