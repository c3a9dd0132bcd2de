// The whole job on a blank emulated chip, cut off at every request: the
// chip unplugged after request k for every k, and the controller hanging
// after request k for a sample of k. No run may report success unless it
// completed, burn a bit its plan does not hold, or keep sending requests.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "prog_helpers.h"
#include "support/trace_capture.h"

namespace qt70 {
namespace {

using test::ExampleFile;
using test::OnlyPlannedBits;
using test::PlannedWrite;
using test::RunBench;
using test::TraceCapture;
using Result = COtpEngine::RunResult;

// Requests up to the end of the image read: the 20 of the controller
// set-up, then one OTP read per byte. The image read goes through all 512
// bytes whatever fails (a failed read is silent and only flagged), so a chip
// lost during it still gets the rest of those reads.
constexpr uint64_t kImageReadEnd = 20 + 512;

struct Reference {
  uint64_t requests = 0;
  std::vector<PlannedWrite> plan;
};

Reference CleanRun() {
  RunBench b;
  b.regs.recording = false;
  Reference ref;
  EXPECT_EQ(b.Program(ExampleFile()), Result::Success);
  ref.requests = b.chip->TotalRequests();
  ref.plan = test::ListOf(b.engine);
  return ref;
}

// A run that reports success must have left the whole plan on the chip.
::testing::AssertionResult Complete(const RunBench& b, const std::vector<PlannedWrite>& plan) {
  for (const PlannedWrite& w : plan)
    for (unsigned bank : {0u, 0x200u})
      if ((b.chip->Otp(w.address | bank) & w.value) != w.value)
        return ::testing::AssertionFailure() << "byte " << (w.address | bank) << " incomplete";
  return ::testing::AssertionSuccess();
}

size_t Count(const std::vector<std::string>& texts, const std::string& text) {
  size_t n = 0;
  for (const auto& t : texts) n += t == text;
  return n;
}

TEST(FaultSweep, UnplugAfterEveryRequest) {
  TraceCapture quiet(0);
  const Reference ref = CleanRun();
  ASSERT_GT(ref.requests, 1000u);
  uint64_t runs = 0, successes = 0;
  for (uint64_t k = 0; k <= ref.requests; ++k) {
    SCOPED_TRACE("unplug-after=" + std::to_string(k));
    RunBench b;
    b.regs.recording = false;
    ASSERT_TRUE(b.Fault("unplug-after=" + std::to_string(k)));
    const auto blank = b.Image();
    const auto start = std::chrono::steady_clock::now();
    const Result result = b.Program(ExampleFile());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    const auto texts = b.ui.BoxTexts();
    ++runs;
    if (result == Result::Success) {
      ++successes;
      // Only the last request, the closing command 9, may go unnoticed: it
      // is sent without a wait after every byte and the lock were proven.
      EXPECT_GE(k + 1, ref.requests);
      EXPECT_TRUE(Complete(b, ref.plan));
    } else {
      EXPECT_LT(k + 1, ref.requests);
      EXPECT_EQ(result, Result::DeviceError);
      EXPECT_EQ(Count(texts, "OTP successful.."), 0u);
      EXPECT_EQ(b.ui.status_text.rfind("OTP ERROR: ", 0), 0u) << b.ui.status_text;
      // After the chip went, a few requests of the sequence under way at most.
      EXPECT_LE(b.chip->TotalRequests() - k, (k < kImageReadEnd ? kImageReadEnd - k : 0) + 8);
      EXPECT_LE(texts.size(), 8u);
    }
    EXPECT_LE(Count(texts, "The COM Port is not opened for r/w registers!"), 1u);
    EXPECT_TRUE(OnlyPlannedBits(blank, *b.chip, ref.plan));
    if (HasFailure()) break;
  }
  EXPECT_EQ(runs, ref.requests + 1);
  EXPECT_EQ(successes, 2u);  // unplugged before the closing command 9, and not at all
}

TEST(FaultSweep, HangAfterASampleOfRequests) {
  TraceCapture quiet(0);
  const Reference ref = CleanRun();
  constexpr uint32_t kPolls = 200;
  std::vector<uint64_t> samples;
  for (uint64_t k = 0; k < ref.requests; k += 13) samples.push_back(k);
  samples.push_back(ref.requests - 1);  // the last poll of the job hangs
  samples.push_back(ref.requests);      // only the closing command is sent after
  uint64_t failures = 0, successes = 0;
  for (uint64_t k : samples) {
    SCOPED_TRACE("hang-after=" + std::to_string(k));
    RunBench b;
    b.regs.recording = false;
    b.engine.m_nWaitPollLimit = kPolls;
    ASSERT_TRUE(b.Fault("hang-after=" + std::to_string(k)));
    const auto blank = b.Image();
    const Result result = b.Program(ExampleFile());
    if (result == Result::Success) {
      ++successes;
      EXPECT_EQ(k, ref.requests);
      EXPECT_TRUE(Complete(b, ref.plan));
    } else {
      ++failures;
      EXPECT_EQ(result, Result::DeviceError);
      EXPECT_EQ(Count(b.ui.BoxTexts(), "OTP successful.."), 0u);
      EXPECT_EQ(b.ui.status_text,
                "OTP ERROR: The chip's OTP controller is not answering.  OTP Stopped.");
      // One bounded wait, the writes before it, and the closing command.
      EXPECT_LE(b.chip->TotalRequests(), std::max(k, kImageReadEnd) + kPolls + 8);
    }
    EXPECT_TRUE(OnlyPlannedBits(blank, *b.chip, ref.plan));
    if (HasFailure()) break;
  }
  EXPECT_EQ(failures, samples.size() - 1);
  EXPECT_EQ(successes, 1u);
}

}  // namespace
}  // namespace qt70
