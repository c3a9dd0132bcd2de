// The programming run: one complete programming of the connected chip from
// the configuration file, reported to the operator in a message box and the
// status line. prepare_run is shared with the dry run of the command line,
// so both build exactly the same list.

#include <cstdio>
#include <cstring>

#include "otp_engine.h"
#include "res/resource.h"
#include "trace.h"

namespace qt70 {

namespace {

constexpr uint16_t kRegCommand = 0x0D43;
constexpr const char* kNotOpened = "The COM Port is not opened for r/w registers!";

}  // namespace

void COtpEngine::report_error(const char* box_text, const char* status_text) {
  m_ui.MessageBox(box_text, "Error", MB_ICONERROR);
  m_ui.SetDlgItemText(IDC_STATIC_STATUS, status_text);
  m_ui.ShowDlgItem(IDC_STATIC_STATUS, true);
}

void COtpEngine::end_run_link_failure(bool programming) {
  const LinkFailure failure = m_linkFailure;
  // A controller that stopped answering may still take a command: send the
  // one that ends OTP access, so that it is left reading. A port that is
  // gone takes nothing. This is the run's last request.
  if (failure != LinkFailure::NoPort && m_regs.IsOpen()) m_regs.WriteReg(kRegCommand, 9);

  const char* reason = failure == LinkFailure::NoPort ? "The COM Port was closed during the run."
                       : failure == LinkFailure::NoAnswer
                           ? "The chip's OTP controller is not answering."
                           : "The chip does not answer register requests.";
  char where[160] = "";
  if (programming) {
    if (m_nEntriesDone >= m_nWriteCount) {
      std::snprintf(where, sizeof where, "\nAll %u entries were programmed.", m_nWriteCount);
    } else {
      const uint32_t i = m_nEntriesDone;
      const bool at_lock = i + 1 == m_nWriteCount;
      std::snprintf(where, sizeof where,
                    "\nProgramming stopped at entry %u of %u (0x%3.3X, %s); %s", i + 1,
                    m_nWriteCount, m_writeAddress[i], m_writeComment[i],
                    at_lock ? "the lock bit may not be set." : "the device is not locked.");
    }
  }
  std::snprintf(m_runMessage, sizeof m_runMessage, "ERROR: %s  Stopping Now.%s", reason, where);
  char status[128];
  std::snprintf(status, sizeof status, "OTP ERROR: %s  OTP Stopped.", reason);
  report_error(m_runMessage, status);
  m_runResult = RunResult::DeviceError;
}

bool COtpEngine::prepare_run() {
  // 1. Start of run: nothing of an earlier run survives.
  m_runResult = RunResult::NotRun;
  m_linkFailure = LinkFailure::None;
  m_bNotOpenedShown = false;
  m_nEntriesDone = 0;
  m_bForce = 0;
  m_bLock = 1;
  m_nWriteCount = 0;
  m_nOverrideCount = 0;
  m_nWriteOverflow = 0;
  m_nOverrideOverflow = 0;
  m_nPairsQueued = 0;
  m_nPairOverflow = 0;
  m_nMissingFields = 0;
  initialize_tags();
  m_bXmlUsbValid = 0;
  m_bXmlStringsValid = 0;
  m_bXmlLineValid = 0;

  if (!m_regs.IsOpen()) {
    // Say it once, not once per request of the image read.
    m_bNotOpenedShown = true;
    m_ui.MessageBox(kNotOpened, "Error", MB_ICONERROR);
    m_runResult = RunResult::DeviceError;
    return false;
  }

  // 2. Prepare the controller for the image read (the sequence of otp_begin).
  otp_begin();
  if (m_linkFailure != LinkFailure::None) {
    end_run_link_failure(false);
    return false;
  }

  // 3. Read the image; only a failure of this read may set the flag.
  m_regs.SetReadFailed(0);
  read_all_otp(device_otp);

  // 4. Back to reading.
  otp_set_read();
  if (m_linkFailure != LinkFailure::None) {
    end_run_link_failure(false);
    return false;
  }
  // A failed read yields 0xFF, which decodes as a locked chip or as bits
  // that cannot be changed: nothing decided from such an image is sound.
  if (m_regs.ReadFailed()) {
    report_error("ERROR: The chip's OTP could not be read.  Stopping Now.",
                 "OTP ERROR: The chip's OTP could not be read.  OTP Stopped.");
    m_runResult = RunResult::DeviceError;
    return false;
  }

  // 5. and 6. Decode the image.
  if (verbose > 3) print_all_otp(device_otp);
  eval_all_otp(device_otp);

  // 7. Read the file; the reader has shown its own message on failure.
  if (!m_reader.parseDoc(m_reader.XmlFile()) || m_reader.ExitRequested()) {
    m_runResult = RunResult::Rejected;
    return false;
  }

  // 8. to 11.
  if (verbose > 3)
    for (const mlc_tag& tag : m_tags) print_tag(&tag);
  // Missing fields are reported and counted; the run programs anyway.
  m_nMissingFields = check_flags(m_bForce);
  create_otp_write_list(device_otp, m_bLock);
  if (verbose > 1) print_otp_write_list();

  m_runResult = RunResult::Prepared;
  return true;
}

void COtpEngine::program_file() {
  if (!prepare_run()) return;

  // 12. A locked chip takes nothing.
  if (m_bDevLocked) {
    m_ui.MessageBox("ERROR: Device is locked.  Stopping Now.", "Error", MB_ICONERROR);
    m_ui.SetDlgItemText(IDC_STATIC_STATUS, "Device is locked.  OTP Stopped.");
    m_ui.ShowDlgItem(IDC_STATIC_STATUS, true);
    m_regs.WriteReg(kRegCommand, 9);  // silent when the box's loop closed the port
    m_runResult = RunResult::Locked;
    return;
  }

  // A list that does not fit is refused whole: burning part of it and then
  // the lock bit would leave a chip that can never be completed. The
  // controller is still reading since step 4.
  if (!list_fits()) {
    char shortfall[256];
    describe_shortfall(shortfall, sizeof shortfall);
    std::snprintf(m_runMessage, sizeof m_runMessage,
                  "ERROR: The configuration does not fit the chip's remaining OTP: %s.  "
                  "Nothing was programmed.",
                  shortfall);
    char status[sizeof shortfall + 80];
    std::snprintf(status, sizeof status,
                  "OTP ERROR: The configuration does not fit the chip's remaining OTP: %s.",
                  shortfall);
    report_error(m_runMessage, status);
    m_runResult = RunResult::NoFit;
    return;
  }

  // 13. Program.
  otp_set_reg(0x3, 10);
  otp_set_reg(0x1, 0x10);
  otp_set_reg(0x6, 0);
  otp_set_reg(0x3, 5);
  m_nFailedBytes = 0;
  m_failReport[0] = '\0';
  otp_begin();
  write_otp_list();
  otp_set_read();
  otp_set_reg(0x3, 9);
  if (m_linkFailure != LinkFailure::None) {
    // Never the success text for a run that did not complete.
    end_run_link_failure(true);
    return;
  }

  // 14. Report.
  if (m_nFailedBytes != 0) {
    // The report of the failed bytes goes with the message, so that the
    // operator sees which bytes and bits did not take.
    std::snprintf(m_runMessage, sizeof m_runMessage,
                  "ERROR: Some bits were not programmed correctly.\n%s", m_failReport);
    m_ui.MessageBox(m_runMessage, "Error", MB_ICONERROR);
    m_ui.SetDlgItemText(IDC_STATIC_STATUS, "OTP ERROR: Some bits were not programmed correctly.");
    m_ui.ShowDlgItem(IDC_STATIC_STATUS, true);
    m_runResult = RunResult::BitsFailed;
  } else {
    m_ui.MessageBox("OTP successful..", "Success", MB_OK);
    m_ui.SetDlgItemText(IDC_STATIC_STATUS, "OTP STATUS: Successfully programmed.");
    m_ui.ShowDlgItem(IDC_STATIC_STATUS, true);
    m_runResult = RunResult::Success;
  }

  // 15. The chip is programmed once.
  m_ui.SetDlgItemText(IDC_BUTTON_PROGRAM, "Programmed");
  m_ui.EnableDlgItem(IDC_BUTTON_LOAD_XMLFILE, false);
  m_ui.EnableDlgItem(IDC_BUTTON_LOAD_DEFAULTS, false);
  m_ui.EnableDlgItem(IDC_BUTTON_PROGRAM, false);
}

}  // namespace qt70
