// Time and requests of one programming run of a blank emulated chip from the
// full example file, of the dry run (plan) alone, and of the full run with
// 100 us of latency per request, beside what that latency alone costs, so
// that the tool's own share of a real run shows.
//
//   build/bin/qt70_bench
//
// Counters are per run: requests by driver request code and in total.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "config/config_files.h"
#include "device/device_link.h"
#include "emulator/emulated_chip.h"
#include "engine/otp_engine.h"
#include "engine/trace.h"

namespace qt70 {
namespace {

const std::string kExample = QT70_SOURCE_DIR "/examples/QT70L5530_OTP.xml";

// The operator of a run nobody watches.
class SilentOperator : public IOperator {
 public:
  int MessageBox(std::string_view, std::string_view, unsigned) override {
    ++boxes;
    return IDYES;
  }
  void SetDlgItemText(int, std::string_view) override {}
  void ShowDlgItem(int, bool) override {}
  void EnableDlgItem(int, bool) override {}
  int boxes = 0;
};

// One chip, port, engine and reader, wired as the command line wires them.
struct Job {
  EmulatedChip chip;
  SilentOperator ui;
  CDeviceLink link{ui};
  COtpEngine engine{link, ui, files};
  CConfigFiles files{engine, ui};

  explicit Job(const char* fault = nullptr) {
    if (fault) {
      std::string error;
      chip.AddFault(fault, &error);
    }
    link.Open(std::make_unique<EmulatedTransport>(chip));
    engine.reset_run_state();
    files.m_strXmlFile = kExample;
  }
};

// The byte lines of the run are always printed: send them nowhere.
struct QuietTrace {
  QuietTrace() : saved(trace_out), null(std::fopen("/dev/null", "w")) { trace_out = null; }
  ~QuietTrace() {
    trace_out = saved;
    if (null) std::fclose(null);
  }
  std::FILE* saved;
  std::FILE* null;
};

struct Requests {
  uint64_t read_otp = 0, write_otp = 0, read_reg = 0, write_reg = 0, total = 0;
  void Add(const EmulatedChip& chip) {
    read_otp += chip.RequestCount(IOCTL_QTUSB_READ_OTP);
    write_otp += chip.RequestCount(IOCTL_QTUSB_WRITE_OTP);
    read_reg += chip.RequestCount(IOCTL_QTUSB_READ_REG);
    write_reg += chip.RequestCount(IOCTL_QTUSB_WRITE_REG);
    total += chip.TotalRequests();
  }
  void Report(benchmark::State& state) const {
    const auto avg = benchmark::Counter::kAvgIterations;
    state.counters["req_read_otp"] = benchmark::Counter(static_cast<double>(read_otp), avg);
    state.counters["req_write_otp"] = benchmark::Counter(static_cast<double>(write_otp), avg);
    state.counters["req_read_reg"] = benchmark::Counter(static_cast<double>(read_reg), avg);
    state.counters["req_write_reg"] = benchmark::Counter(static_cast<double>(write_reg), avg);
    state.counters["requests"] = benchmark::Counter(static_cast<double>(total), avg);
  }
};

void BM_ProgramRun(benchmark::State& state) {
  QuietTrace quiet;
  Requests requests;
  for (auto _ : state) {
    state.PauseTiming();
    auto job = std::make_unique<Job>();
    state.ResumeTiming();
    job->engine.program_file();
    state.PauseTiming();
    if (job->engine.m_runResult != COtpEngine::RunResult::Success)
      state.SkipWithError("the run did not succeed");
    requests.Add(job->chip);
    job.reset();
    state.ResumeTiming();
  }
  requests.Report(state);
}
BENCHMARK(BM_ProgramRun)->Unit(benchmark::kMicrosecond);

void BM_Plan(benchmark::State& state) {
  QuietTrace quiet;
  Requests requests;
  for (auto _ : state) {
    state.PauseTiming();
    auto job = std::make_unique<Job>();
    state.ResumeTiming();
    benchmark::DoNotOptimize(job->engine.prepare_run());
    state.PauseTiming();
    requests.Add(job->chip);
    job.reset();
    state.ResumeTiming();
  }
  requests.Report(state);
}
BENCHMARK(BM_Plan)->Unit(benchmark::kMicrosecond);

// With latency, the wall time of each run beside requests x 100 us: what is
// left over is the tool's own time plus the sleeps' overshoot.
void BM_ProgramRunLatency100(benchmark::State& state) {
  QuietTrace quiet;
  Requests requests;
  double wall = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto job = std::make_unique<Job>("latency=100");
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    job->engine.program_file();
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    if (job->engine.m_runResult != COtpEngine::RunResult::Success)
      state.SkipWithError("the run did not succeed");
    requests.Add(job->chip);
    job.reset();
    state.ResumeTiming();
  }
  requests.Report(state);
  const auto avg = benchmark::Counter::kAvgIterations;
  const double latency = static_cast<double>(requests.total) * 100e-6;
  state.counters["run_s"] = benchmark::Counter(wall, avg);
  state.counters["requests_x_100us_s"] = benchmark::Counter(latency, avg);
  state.counters["beyond_latency_s"] = benchmark::Counter(wall - latency, avg);
}
BENCHMARK(BM_ProgramRunLatency100)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
}  // namespace qt70

BENCHMARK_MAIN();
