// Byte programming: every write-list entry is burnt with the driver's OTP
// write request and then proven through the chip's OTP controller in both
// banks; bits that read wrong are programmed again one at a time, up to 16
// repair passes per bank. A byte fails only when a bit is wrong in both.
//
// Every wait on the controller is bounded. When the controller stops
// answering, or the port goes away under the run, no further request is
// issued: the run ends with an error instead of polling for ever.

#include <chrono>
#include <cstdio>
#include <cstring>

#include "otp_engine.h"
#include "trace.h"

namespace qt70 {

namespace {

constexpr uint16_t kRegBase = 0x0D40;
// Controller registers by offset from kRegBase.
constexpr uint32_t kOperand = 0x1;   // 0x0D41
constexpr uint32_t kAddress = 0x2;   // 0x0D42
constexpr uint32_t kCommand = 0x3;   // 0x0D43
constexpr uint16_t kStatus = 0x0D44;
constexpr uint16_t kData = 0x0D45;
constexpr uint32_t kOperand2 = 0x6;  // 0x0D46
constexpr uint32_t kProgram = 0xD;   // 0x0D4D
constexpr uint32_t kTiming = 0xE;    // 0x0D4E

// What a failed register read returns; a status register never reads so.
constexpr uint16_t kFailedRead = 0x00FF;

constexpr int kRepairPasses = 16;

constexpr const char* kNotOpened = "The COM Port is not opened for r/w registers!";

}  // namespace

// --- Guarded requests ---------------------------------------------------------

void COtpEngine::reg_write(uint16_t reg, uint16_t value) {
  if (m_linkFailure != LinkFailure::None) return;
  if (!m_regs.IsOpen()) {
    // The port went away, e.g. closed by a device removal handled while a
    // message box was open. Say so once, then issue nothing more.
    m_linkFailure = LinkFailure::NoPort;
    if (!m_bNotOpenedShown) {
      m_bNotOpenedShown = true;
      m_ui.MessageBox(kNotOpened, "Error", MB_ICONERROR);
    }
    return;
  }
  m_regs.WriteReg(reg, value);
}

uint16_t COtpEngine::reg_read(uint16_t reg) {
  if (m_linkFailure != LinkFailure::None) return kFailedRead;
  if (!m_regs.IsOpen()) {
    m_linkFailure = LinkFailure::NoPort;
    if (!m_bNotOpenedShown) {
      m_bNotOpenedShown = true;
      m_ui.MessageBox(kNotOpened, "Error", MB_ICONERROR);
    }
    return kFailedRead;
  }
  return m_regs.ReadReg(reg);
}

void COtpEngine::otp_write_request(uint16_t address, uint8_t value) {
  if (m_linkFailure != LinkFailure::None) return;
  if (!m_regs.IsOpen()) {
    m_linkFailure = LinkFailure::NoPort;
    if (!m_bNotOpenedShown) {
      m_bNotOpenedShown = true;
      m_ui.MessageBox(kNotOpened, "Error", MB_ICONERROR);
    }
    return;
  }
  // The byte travels in the low half of the data, the high half is 0.
  m_regs.WriteOTPReg(address, value);
}

// --- Controller sequences -----------------------------------------------------

void COtpEngine::otp_set_reg(uint32_t addr, uint32_t value) {
  reg_write(static_cast<uint16_t>(kRegBase + addr), static_cast<uint16_t>(value & 0xFFFF));
}

void COtpEngine::otp_wait() {
  // Polls the busy bit back to back, within a number of polls and a time
  // that a slow chip stays well inside. A rejected status read (0x00FF)
  // means the chip no longer takes requests: polling on would only repeat
  // the driver's error.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  for (uint32_t polls = 0; m_linkFailure == LinkFailure::None; ++polls) {
    const uint16_t status = reg_read(kStatus);
    if (m_linkFailure != LinkFailure::None) return;
    if (status == kFailedRead) {
      m_linkFailure = LinkFailure::Rejected;
      return;
    }
    if ((status & 0x0001) == 0) return;
    if (polls + 1 >= m_nWaitPollLimit ||
        Clock::now() - start >= std::chrono::milliseconds(m_nWaitMillisLimit)) {
      m_linkFailure = LinkFailure::NoAnswer;
      return;
    }
  }
}

namespace {

// The two settings sets differ in the timing value and one setting value.
struct SettingsSet {
  uint32_t timing;
  uint32_t value;
};
constexpr SettingsSet kSet1 = {10, 0x7A};
constexpr SettingsSet kSet2 = {100, 0x77};

}  // namespace

void COtpEngine::otp_pgm_read_1() {
  otp_set_reg(kTiming, kSet1.timing);
  otp_set_reg(kOperand, 0x21);
  otp_set_reg(kOperand2, 0x40);
  otp_set_reg(kCommand, 5);
  otp_wait();
  otp_set_reg(kCommand, 6);
  otp_wait();
  otp_set_reg(kOperand, kSet1.value);
  otp_set_reg(kOperand2, 0x20);
  otp_set_reg(kCommand, 5);
  otp_wait();
  otp_set_reg(kCommand, 7);
  otp_wait();
  otp_set_reg(kOperand, 0x00);
  otp_set_reg(kOperand2, 0x40);
  otp_set_reg(kCommand, 5);
  otp_wait();
}

void COtpEngine::otp_pgm_read_2() {
  otp_set_reg(kTiming, kSet2.timing);
  otp_set_reg(kOperand, 0x21);
  otp_set_reg(kOperand2, 0x40);
  otp_set_reg(kCommand, 5);
  otp_wait();
  otp_set_reg(kCommand, 6);
  otp_wait();
  otp_set_reg(kOperand, kSet2.value);
  otp_set_reg(kOperand2, 0x20);
  otp_set_reg(kCommand, 5);
  otp_wait();
  otp_set_reg(kCommand, 7);
  otp_wait();
  otp_set_reg(kOperand, 0x00);
  otp_set_reg(kOperand2, 0x40);
  otp_set_reg(kCommand, 5);
  otp_wait();
}

void COtpEngine::otp_begin() {
  otp_set_reg(kCommand, 10);
  otp_wait();
  otp_set_reg(kProgram, 1);
  otp_pgm_read_1();
}

void COtpEngine::otp_set_read() {
  otp_set_reg(kOperand, 0);
  otp_set_reg(kOperand2, 0);
  otp_set_reg(kCommand, 5);
  otp_wait();
  otp_set_reg(kCommand, 6);
  otp_wait();
  otp_set_reg(kCommand, 7);
  otp_wait();
  otp_set_reg(kOperand, 0);
  otp_set_reg(kOperand2, 0x10);
  otp_set_reg(kCommand, 5);
  otp_wait();
  otp_set_reg(kProgram, 0);
  otp_set_reg(kCommand, 9);
  otp_wait();
}

uint8_t COtpEngine::otp_read_byte(uint32_t address) {
  otp_set_reg(kAddress, address);
  otp_set_reg(kCommand, 1);
  otp_wait();
  return static_cast<uint8_t>(reg_read(kData) & 0xFF);
}

// --- One byte -------------------------------------------------------------------

void COtpEngine::otp_program_all_data(uint32_t address, uint8_t wdata) {
  const uint8_t old = otp_read_byte(address);
  // What the byte must read after the burn: bits are only ever added in the
  // low region and only ever removed in the high region.
  m_otpExpected = address < 0x100 ? static_cast<uint8_t>(old | wdata)
                                  : static_cast<uint8_t>(old & wdata);
  otp_write_request(static_cast<uint16_t>(address), wdata);
}

uint8_t COtpEngine::otp_read_and_compare(uint32_t address) {
  return static_cast<uint8_t>(otp_read_byte(address) ^ m_otpExpected);
}

void COtpEngine::otp_program_failed_bits(uint32_t addr, uint8_t fail_mask) {
  otp_set_reg(kAddress, addr);
  for (unsigned bit = 0; bit < 8; ++bit) {
    if (!(fail_mask & (1u << bit))) continue;
    if (m_linkFailure != LinkFailure::None) return;
    // A high-region bit is selected by a 0 in the mask.
    uint8_t mask = static_cast<uint8_t>(1u << bit);
    if (addr & 0x100) mask = static_cast<uint8_t>(~mask);
    otp_set_reg(kOperand, mask);
    otp_set_reg(kCommand, 4);
    otp_wait();
    otp_set_reg(kCommand, 8);
    otp_wait();
  }
}

uint8_t COtpEngine::otp_check_byte(uint32_t addr) {
  uint8_t mask = 0;
  for (int pass = 0; pass < kRepairPasses; ++pass) {
    mask = otp_read_and_compare(addr);
    if (mask == 0) return 0;
    if (m_linkFailure != LinkFailure::None) return mask;
    otp_pgm_read_2();
    otp_program_failed_bits(addr, mask);
    mask = otp_read_and_compare(addr);
    if (mask == 0) return 0;  // settings set 2 stays in force
    if (m_linkFailure != LinkFailure::None) return mask;
    otp_pgm_read_1();
  }
  return mask;
}

void COtpEngine::otp_write_byte(uint16_t addr, uint8_t value) {
  trace("%03x = %02x\n", addr, value);
  otp_program_all_data(addr, value);
  const uint8_t m1 = otp_check_byte(addr);
  const uint8_t m2 = otp_check_byte(addr | kOtpBankOffset);
  // A bit that reads right in either bank does not fail the byte. Results
  // gathered after the chip was lost mean nothing; the run reports the loss.
  if ((m1 & m2) == 0 || m_linkFailure != LinkFailure::None) return;
  ++m_nFailedBytes;
  const size_t used = m_nFailedBytes == 1 ? 0 : std::strlen(m_failReport);
  if (used < sizeof m_failReport)
    std::snprintf(m_failReport + used, sizeof m_failReport - used,
                  m_nFailedBytes == 1 ? "Unable to program \n%03x = %02x m1 = %02x m2 = %02x \n"
                                      : "%03x = %02x m1 = %02x m2 = %02x \n",
                  addr, value, m1, m2);
}

void COtpEngine::write_otp_list() {
  trace("Processing OTP List.  %d entries.\n", m_nWriteCount);
  m_nEntriesDone = 0;
  for (uint32_t i = 0; i < m_nWriteCount && m_linkFailure == LinkFailure::None; ++i) {
    QT70_TRACE(1, "Writing 0x%2.2X at 0x%3.3X.  %s\n", m_writeValue[i], m_writeAddress[i],
               m_writeComment[i]);
    otp_write_byte(static_cast<uint16_t>(m_writeAddress[i]), m_writeValue[i]);
    if (m_linkFailure == LinkFailure::None) ++m_nEntriesDone;
  }
}

}  // namespace qt70
