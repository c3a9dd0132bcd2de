// qt70otp plan and qt70otp program, run as the operator runs them on an
// image file: the dry run's list and summary, that the run burns exactly
// that list, the confirmation, and the exit status of every outcome.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::string kExample = QT70_SOURCE_DIR "/examples/QT70L5530_OTP.xml";

class PlanProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    static int n = 0;
    root = fs::temp_directory_path() /
           ("qt70-plan-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    fs::create_directories(root);
    ASSERT_TRUE(fs::exists(QT70_BIN_DIR "/qt70otp")) << "build qt70otp first";
  }
  void TearDown() override { fs::remove_all(root); }

  Result Qt70otp(const std::string& args) {
    const fs::path out = root / "stdout", err = root / "stderr";
    const std::string cmd = "timeout 60 " QT70_BIN_DIR "/qt70otp " + args + " >" + out.string() +
                            " 2>" + err.string() + " </dev/null";
    const int rc = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }

  // A 512-byte image: blank, then the given bytes.
  std::string Image(const std::string& name, std::vector<std::pair<uint16_t, uint8_t>> set = {}) {
    std::vector<uint8_t> image(512, 0x00);
    std::fill(image.begin() + 0x100, image.end(), 0xFF);
    for (auto [a, v] : set) image[a] = v;
    const fs::path p = root / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return p.string();
  }
  std::string File(const std::string& name, const std::string& text) {
    const fs::path p = root / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  // Stored pairs for registers 0x300 upwards in slots 0 to n-1.
  static std::vector<std::pair<uint16_t, uint8_t>> StoredPairs(unsigned n) {
    std::vector<std::pair<uint16_t, uint8_t>> set;
    for (unsigned i = 0; i < n; ++i) {
      const unsigned reg = 0x300 + i, pos = 0x042 + 3 * i;
      set.push_back({static_cast<uint16_t>(pos), static_cast<uint8_t>(reg & 0xFF)});
      set.push_back({static_cast<uint16_t>(pos + 1), static_cast<uint8_t>(reg >> 8)});
    }
    return set;
  }

  fs::path root;
};

// "Will write 0x%2.2X at 0x%3.3X." lines of a plan as "%03x = %02x", the
// line the run prints for each byte it programs.
std::vector<std::string> PlannedBytes(const std::string& out) {
  std::vector<std::string> bytes;
  for (const std::string& line : Lines(out)) {
    unsigned value = 0, address = 0;
    if (std::sscanf(line.c_str(), "Will write 0x%2X at 0x%3X.", &value, &address) == 2) {
      char text[16];
      std::snprintf(text, sizeof text, "%03x = %02x", address, value);
      bytes.push_back(text);
    }
  }
  return bytes;
}

std::vector<std::string> ProgrammedBytes(const std::string& out) {
  std::vector<std::string> bytes;
  for (const std::string& line : Lines(out)) {
    unsigned address = 0, value = 0;
    char rest = 0;
    if (line.size() == 8 && std::sscanf(line.c_str(), "%3x = %2x%c", &address, &value, &rest) == 2)
      bytes.push_back(line);
  }
  return bytes;
}

TEST_F(PlanProgram, PlanShowsTheListAndASummaryAndBurnsNothing) {
  const std::string image = Image("chip.img");
  const std::string before = Slurp(image);
  const Result plan = Qt70otp("plan " + kExample + " --image " + image);
  EXPECT_EQ(plan.status, 0) << plan.err;
  const auto lines = Lines(plan.out);
  ASSERT_GE(lines.size(), 70u);
  EXPECT_EQ(lines[0], "OTP Write List.  68 entries.");
  EXPECT_EQ(lines[1], "Will write 0x02 at 0x000.  OTP_CONFIG0");
  EXPECT_EQ(lines[67], "Will write 0x07 at 0x004.  Valid Flags");
  EXPECT_EQ(lines[68], "Will write 0x40 at 0x003.  Lock Device");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 69, lines.end()),
            (std::vector<std::string>{
                "Summary: 68 write-list entries (of 512).",
                "Address/value pairs: 0 used before, 7 after (of 148).",
                "Fields written as pairs instead of their primary copy: none.",
                "Nothing was programmed."}));
  EXPECT_EQ(plan.err, "");
  EXPECT_EQ(Slurp(image), before);
}

TEST_F(PlanProgram, ProgramBurnsExactlyThePlannedList) {
  // A chip that already holds a pair and whose attributes cannot take 0xa0.
  auto set = StoredPairs(1);
  set.push_back({0x010, 0xC0});
  const std::string image = Image("chip.img", set);
  const Result plan = Qt70otp("plan " + kExample + " --image " + image);
  ASSERT_EQ(plan.status, 0) << plan.err;
  EXPECT_TRUE(Has(plan.out, "Address/value pairs: 1 used before, 9 after (of 148).\n")) << plan.out;
  EXPECT_TRUE(
      Has(plan.out, "Fields written as pairs instead of their primary copy: USB_ATTRIBUTES (1 pair).\n"))
      << plan.out;

  const Result run = Qt70otp("program " + kExample + " --image " + image + " --yes");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "Success: OTP successful..\n")) << run.err;
  EXPECT_TRUE(Has(run.err, "Status: OTP STATUS: Successfully programmed.\n")) << run.err;
  EXPECT_EQ(ProgrammedBytes(run.out), PlannedBytes(plan.out));
  const std::string after = Slurp(image);
  EXPECT_EQ(static_cast<uint8_t>(after[0x003]) & 0x40, 0x40);
  EXPECT_EQ(static_cast<uint8_t>(after[0x004]), 0x07);
}

TEST_F(PlanProgram, PlanOfALockedChipEndsWithTheLockedMessage) {
  const std::string image = Image("locked.img", {{0x003, 0x40}});
  const Result plan = Qt70otp("plan " + kExample + " --image " + image);
  EXPECT_EQ(plan.status, 3);
  EXPECT_TRUE(Has(plan.out, "OTP Write List.  "));
  EXPECT_EQ(plan.err, "Error: ERROR: Device is locked.  Stopping Now.\n");
}

TEST_F(PlanProgram, RequestThatDoesNotFitIsRefusedByPlanAndProgram) {
  const std::string image = Image("full.img", StoredPairs(146));
  const std::string before = Slurp(image);
  const Result plan = Qt70otp("plan " + kExample + " --image " + image);
  EXPECT_EQ(plan.status, 6);
  EXPECT_TRUE(Has(plan.out, "Address/value pairs: 146 used before, 153 after (of 148).\n"));
  EXPECT_TRUE(Has(plan.out,
                  "Does not fit the chip's remaining OTP: 5 address/value pairs too many (7 "
                  "needed, 2 free).\n"))
      << plan.out;
  const Result run = Qt70otp("program " + kExample + " --image " + image + " --yes");
  EXPECT_EQ(run.status, 6);
  EXPECT_TRUE(Has(run.err, "Error: ERROR: The configuration does not fit the chip's remaining OTP: "
                           "5 address/value pairs too many (7 needed, 2 free).  Nothing was "
                           "programmed.\n"))
      << run.err;
  EXPECT_EQ(Slurp(image), before);
}

TEST_F(PlanProgram, ProgramWithoutConfirmationRefuses) {
  const std::string image = Image("chip.img");
  const std::string before = Slurp(image);
  const Result run = Qt70otp("program " + kExample + " --image " + image);
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Has(run.err, "This is only one time programmable.  Do you wish to proceed?"));
  EXPECT_TRUE(Has(run.err, "nothing was programmed"));
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Slurp(image), before);
}

TEST_F(PlanProgram, ExitStatusOfEveryOutcome) {
  const std::string bad_version =
      File("v2.xml", "<Data><Config Version=\"2.0\"><GPIO_SET>1</GPIO_SET></Config></Data>");
  const std::string not_xml = File("broken.xml", "<Data><Config");
  struct Row {
    const char* what;
    std::string args;
    int status;
    const char* err;  // a part of stderr
  };
  const std::vector<Row> rows = {
      {"success", "program " + kExample + " --image @ --yes", 0, "Success: OTP successful.."},
      {"locked", "program " + kExample + " --image @locked --yes", 3,
       "Status: Device is locked.  OTP Stopped."},
      {"file not XML", "program " + not_xml + " --image @ --yes", 1,
       "xml file not parsed successfully"},
      {"unsupported version", "program " + bad_version + " --image @ --yes", 1,
       "Unsupported file format version: 2.0"},
      {"bits not programmed",
       "program " + kExample + " --image @ --yes --fault stuck=0x010.5 --fault stuck2=0x010.5", 5,
       "Unable to program \n010 = a0 m1 = 20 m2 = 20 \n"},
      {"no OTP access", "program " + kExample + " --image @ --yes --fault no-otp", 4,
       "Error: ERROR: The chip's OTP could not be read.  Stopping Now."},
      {"unplugged", "program " + kExample + " --image @ --yes --fault unplug-after=700", 4,
       "Status: OTP ERROR: The chip does not answer register requests.  OTP Stopped."},
      {"plan unplugged", "plan " + kExample + " --image @ --fault unplug-after=300", 4,
       "Status: OTP ERROR: The chip does not answer register requests.  OTP Stopped."},
      {"no config", "program --image @ --yes", 2, "usage:"},
      {"no chip", "plan " + kExample, 2, "usage:"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const std::string image =
        Image("chip.img", r.args.find("@locked") != std::string::npos
                              ? std::vector<std::pair<uint16_t, uint8_t>>{{0x003, 0x40}}
                              : std::vector<std::pair<uint16_t, uint8_t>>{});
    std::string args = r.args;
    for (const char* mark : {"@locked", "@"})
      if (const size_t at = args.find(mark); at != std::string::npos)
        args.replace(at, std::strlen(mark), image);
    const Result result = Qt70otp(args);
    EXPECT_EQ(result.status, r.status) << result.err;
    EXPECT_TRUE(Has(result.err, r.err)) << result.err;
    if (r.status != 0 && r.status != 5) {
      const std::string now = Slurp(image);
      EXPECT_EQ(static_cast<uint8_t>(now[0x003]) & 0x40, r.status == 3 ? 0x40 : 0);
    }
  }
}

}  // namespace
