// The exit status of a verb that ran (or prepared) a programming run.
#pragma once

#include "cli.h"
#include "engine/config_reader.h"
#include "engine/otp_engine.h"

namespace qt70::cli {

inline int ExitForRun(const COtpEngine& engine, const IConfigReader& reader) {
  if (reader.ExitRequested()) return kExitRejected;  // unsupported file version
  switch (engine.m_runResult) {
    case COtpEngine::RunResult::Success:
    case COtpEngine::RunResult::Prepared: return kExitOk;
    case COtpEngine::RunResult::Rejected: return kExitRejected;
    case COtpEngine::RunResult::Locked: return kExitLocked;
    case COtpEngine::RunResult::BitsFailed: return kExitNotProgrammed;
    case COtpEngine::RunResult::NoFit: return kExitNoFit;
    case COtpEngine::RunResult::DeviceError:
    case COtpEngine::RunResult::NotRun: break;
  }
  return kExitDevice;
}

}  // namespace qt70::cli
