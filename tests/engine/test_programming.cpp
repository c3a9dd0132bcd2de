// Byte programming against the emulated chip: expected values in both
// regions, verification in two banks, repair passes, the inverted mask of
// the high region, the exact requests of one byte, and bounded waits.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "prog_helpers.h"
#include "support/trace_capture.h"

namespace qt70 {
namespace {

using test::EmulatedBench;
using test::TraceCapture;
using Log = std::vector<std::string>;

std::string W(unsigned reg, unsigned value) {
  char line[32];
  std::snprintf(line, sizeof line, "W %04X %04X", reg, value);
  return line;
}
const std::string kPoll = "R 0D44";

void Add(Log& log, const Log& more) { log.insert(log.end(), more.begin(), more.end()); }

// The controller byte read of one address.
Log ReadSeq(unsigned address) { return {W(0x0D42, address), W(0x0D43, 1), kPoll, "R 0D45"}; }

Log SettingsSeq(unsigned timing, unsigned value) {
  return {W(0x0D4E, timing), W(0x0D41, 0x21), W(0x0D46, 0x40), W(0x0D43, 5), kPoll,
          W(0x0D43, 6),      kPoll,           W(0x0D41, value), W(0x0D46, 0x20), W(0x0D43, 5),
          kPoll,             W(0x0D43, 7),    kPoll,           W(0x0D41, 0x00), W(0x0D46, 0x40),
          W(0x0D43, 5),      kPoll};
}

// One bit programmed with controller command 4.
Log BitSeq(unsigned mask) { return {W(0x0D41, mask), W(0x0D43, 4), kPoll, W(0x0D43, 8), kPoll}; }

struct ProgrammingTest : ::testing::Test {
  EmulatedBench b;
  TraceCapture trace{0};  // the byte lines are always printed
};

TEST_F(ProgrammingTest, ControllerSequencesAreExact) {
  b.engine.otp_begin();
  Log expected = {W(0x0D43, 10), kPoll, W(0x0D4D, 1)};
  Add(expected, SettingsSeq(10, 0x7A));
  EXPECT_EQ(b.regs.log, expected);

  b.regs.log.clear();
  b.engine.otp_pgm_read_2();
  EXPECT_EQ(b.regs.log, SettingsSeq(100, 0x77));

  b.regs.log.clear();
  b.engine.otp_set_read();
  EXPECT_EQ(b.regs.log, (Log{W(0x0D41, 0), W(0x0D46, 0), W(0x0D43, 5), kPoll, W(0x0D43, 6), kPoll,
                             W(0x0D43, 7), kPoll, W(0x0D41, 0), W(0x0D46, 0x10), W(0x0D43, 5),
                             kPoll, W(0x0D4D, 0), W(0x0D43, 9), kPoll}));
}

TEST_F(ProgrammingTest, HealthyByteIsProvenInBothBanksWithoutRepair) {
  b.engine.otp_begin();
  b.regs.log.clear();
  b.engine.otp_write_byte(0x020, 0x5A);
  Log expected = ReadSeq(0x020);
  expected.push_back("OW 020 5A");
  Add(expected, ReadSeq(0x020));
  Add(expected, ReadSeq(0x220));
  EXPECT_EQ(b.regs.log, expected);
  EXPECT_EQ(b.engine.m_otpExpected, 0x5A);
  EXPECT_EQ(b.chip.Otp(0x020), 0x5A);
  EXPECT_EQ(b.chip.Otp(0x220), 0x5A);
  EXPECT_EQ(b.engine.m_nFailedBytes, 0);
  EXPECT_EQ(trace.Text(), "020 = 5a\n");
  EXPECT_TRUE(b.ui.boxes.empty());
}

TEST_F(ProgrammingTest, ExpectedValueFollowsTheRegion) {
  struct Row {
    uint16_t address;
    uint8_t old, value, expected;
  };
  const Row rows[] = {
      {0x020, 0x01, 0x10, 0x11},  // low region: old OR value
      {0x0FF, 0x80, 0x01, 0x81},
      {0x150, 0xFF, 0x3C, 0x3C},  // high region: old AND value
      {0x100, 0xF0, 0x3C, 0x30},
  };
  b.engine.otp_begin();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.address);
    b.chip.SetOtp(r.address, r.old);
    b.chip.SetOtp(r.address | 0x200, r.old);
    b.engine.otp_write_byte(r.address, r.value);
    EXPECT_EQ(b.engine.m_otpExpected, r.expected);
    EXPECT_EQ(b.chip.Otp(r.address), r.expected);
    EXPECT_EQ(b.chip.Otp(r.address | 0x200), r.expected);
  }
  EXPECT_EQ(b.engine.m_nFailedBytes, 0);
  EXPECT_EQ(b.CountWrites(0x0D43, 4), 0u);  // nothing needed a repair
}

TEST_F(ProgrammingTest, StuckBitInOneBankDoesNotFailTheByte) {
  for (const char* fault : {"stuck=0x020.3", "stuck2=0x020.3"}) {
    SCOPED_TRACE(fault);
    EmulatedBench bench;
    ASSERT_TRUE(bench.Fault(fault));
    bench.engine.otp_begin();
    bench.regs.log.clear();
    bench.engine.otp_write_byte(0x020, 0x08);
    EXPECT_EQ(bench.engine.m_nFailedBytes, 0);
    // The bad bank got all 16 passes, one bit program each.
    EXPECT_EQ(bench.CountWrites(0x0D43, 4), 16u);
    EXPECT_EQ(bench.CountWrites(0x0D41, 0x08), 16u);
  }
}

TEST_F(ProgrammingTest, BitStuckInBothBanksFailsTheByteAndTheListGoesOn) {
  ASSERT_TRUE(b.Fault("stuck=0x020.0"));
  ASSERT_TRUE(b.Fault("stuck2=0x020.0"));
  b.engine.m_nWriteCount = 0;
  b.engine.append_write(0x020, 0x81, "A");
  b.engine.append_write(0x021, 0x42, "B");
  b.engine.m_nFailedBytes = 0;
  b.engine.otp_begin();
  b.engine.write_otp_list();
  EXPECT_EQ(b.engine.m_nFailedBytes, 1);
  EXPECT_EQ(b.chip.Otp(0x020), 0x80);
  EXPECT_EQ(b.chip.Otp(0x021), 0x42);  // the next entry was still programmed
  EXPECT_STREQ(b.engine.m_failReport, "Unable to program \n020 = 81 m1 = 01 m2 = 01 \n");
  EXPECT_EQ(trace.Text(), "Processing OTP List.  2 entries.\n020 = 81\n021 = 42\n");
  EXPECT_EQ(b.CountWrites(0x0D43, 4), 32u);  // 16 passes in each bank
}

TEST_F(ProgrammingTest, FailureReportGrowsWithEachFailedByte) {
  ASSERT_TRUE(b.Fault("stuck=0x030.1"));
  ASSERT_TRUE(b.Fault("stuck2=0x030.1"));
  ASSERT_TRUE(b.Fault("stuck=0x031.7"));
  ASSERT_TRUE(b.Fault("stuck2=0x031.7"));
  b.engine.m_nWriteCount = 0;
  b.engine.append_write(0x030, 0x03, "A");
  b.engine.append_write(0x031, 0x80, "B");
  std::snprintf(b.engine.m_failReport, sizeof b.engine.m_failReport, "old text");
  b.engine.otp_begin();
  b.engine.write_otp_list();
  EXPECT_EQ(b.engine.m_nFailedBytes, 2);
  EXPECT_STREQ(b.engine.m_failReport,
               "Unable to program \n030 = 03 m1 = 02 m2 = 02 \n031 = 80 m1 = 80 m2 = 80 \n");
}

TEST_F(ProgrammingTest, WeakBitIsRepairedByThePasses) {
  // Bit 2 takes only on its third bit program, in each bank.
  ASSERT_TRUE(b.Fault("weak=0x020.2.3"));
  b.engine.otp_begin();
  b.engine.otp_write_byte(0x020, 0x04);
  EXPECT_EQ(b.engine.m_nFailedBytes, 0);
  EXPECT_EQ(b.chip.Otp(0x020), 0x04);
  EXPECT_EQ(b.chip.Otp(0x220), 0x04);
  EXPECT_EQ(b.CountWrites(0x0D43, 4), 6u);
  // Each failed pass ends with settings set 1 again; a good check keeps set 2.
  EXPECT_EQ(b.CountWrites(0x0D4E, 100), 6u);
  EXPECT_EQ(b.CountWrites(0x0D4E, 10), 1u + 4u);
}

TEST_F(ProgrammingTest, HighRegionBitIsSelectedByAZero) {
  ASSERT_TRUE(b.Fault("weak=0x150.6.1"));
  b.engine.otp_begin();
  b.regs.log.clear();
  b.engine.otp_write_byte(0x150, 0x3C);
  EXPECT_EQ(b.engine.m_otpExpected, 0x3C);
  EXPECT_EQ(b.chip.Otp(0x150), 0x3C);
  EXPECT_EQ(b.chip.Otp(0x350), 0x3C);
  // One repair pass per bank with the mask 0xBF.
  Log expected = ReadSeq(0x150);
  expected.push_back("OW 150 3C");
  for (unsigned bank : {0x150u, 0x350u}) {
    Add(expected, ReadSeq(bank));
    Add(expected, SettingsSeq(100, 0x77));
    expected.push_back(W(0x0D42, bank));
    Add(expected, BitSeq(0xBF));
    Add(expected, ReadSeq(bank));
  }
  EXPECT_EQ(b.regs.log, expected);
  EXPECT_EQ(b.engine.m_nFailedBytes, 0);
}

TEST_F(ProgrammingTest, SlowControllerIsWaitedFor) {
  ASSERT_TRUE(b.Fault("busy=200"));
  b.engine.otp_begin();
  b.engine.otp_write_byte(0x020, 0x5A);
  EXPECT_EQ(b.engine.m_linkFailure, COtpEngine::LinkFailure::None);
  EXPECT_EQ(b.chip.Otp(0x020), 0x5A);
  EXPECT_EQ(b.engine.m_nFailedBytes, 0);
}

TEST_F(ProgrammingTest, HangingControllerEndsTheWaitWithinItsBounds) {
  ASSERT_TRUE(b.Fault("hang-after=1"));
  b.engine.m_nWaitPollLimit = 1000;
  b.engine.otp_begin();
  EXPECT_EQ(b.engine.m_linkFailure, COtpEngine::LinkFailure::NoAnswer);
  // One bounded wait, then nothing more is sent.
  EXPECT_EQ(b.regs.log.size(), 1u + 1000u);
  b.engine.otp_write_byte(0x020, 0x5A);
  EXPECT_EQ(b.regs.log.size(), 1u + 1000u);
  EXPECT_EQ(b.chip.Otp(0x020), 0x00);

  // The wall clock bounds a wait whose polls are slow.
  EmulatedBench slow;
  ASSERT_TRUE(slow.Fault("hang-after=0"));
  ASSERT_TRUE(slow.Fault("latency=1000"));
  slow.engine.m_nWaitMillisLimit = 50;
  const auto start = std::chrono::steady_clock::now();
  slow.engine.otp_wait();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(slow.engine.m_linkFailure, COtpEngine::LinkFailure::NoAnswer);
  EXPECT_LT(took, std::chrono::milliseconds(1000));
}

TEST_F(ProgrammingTest, RejectedStatusReadStopsAtOnce) {
  ASSERT_TRUE(b.Fault("reject-reg"));
  b.engine.otp_begin();
  EXPECT_EQ(b.engine.m_linkFailure, COtpEngine::LinkFailure::Rejected);
  EXPECT_EQ(b.regs.log, (Log{W(0x0D43, 10), kPoll}));
  EXPECT_EQ(b.ui.BoxTexts(), (std::vector<std::string>{"Error in Writing to USB_UART Reg!",
                                                       "Error in Reading from USB_UART Reg!"}));
}

TEST_F(ProgrammingTest, ClosedPortIsReportedOnceAndNothingIsSent) {
  b.link.Close();
  b.engine.otp_begin();
  b.engine.otp_write_byte(0x020, 0x5A);
  b.engine.otp_set_read();
  EXPECT_TRUE(b.regs.log.empty());
  EXPECT_EQ(b.ui.BoxTexts(),
            std::vector<std::string>{"The COM Port is not opened for r/w registers!"});
  EXPECT_EQ(b.engine.m_linkFailure, COtpEngine::LinkFailure::NoPort);
}

}  // namespace
}  // namespace qt70
