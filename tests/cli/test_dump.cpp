// qt70otp dump and the command line's handling of bad image files, fault
// specs and usage: clear messages, the contract's exit statuses, nothing written.

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

class Dump : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("qt70-dump-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }

  Result Run(const std::string& args) {
    const fs::path out = root / "stdout", err = root / "stderr";
    const std::string cmd = "timeout 30 " QT70_BIN_DIR "/qt70otp " + args + " >" + out.string() +
                            " 2>" + err.string() + " </dev/null";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
  }

  fs::path Image(size_t size, const std::string& name = "chip.bin") {
    std::string bytes;
    for (size_t i = 0; i < size; ++i) bytes += static_cast<char>((i & 0x100) ? 0xFF : 0x00);
    const fs::path path = root / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  fs::path root;
};

TEST_F(Dump, PrintsThirtyTwoLinesOfSixteenBytes) {
  for (size_t size : {512u, 1024u}) {
    const fs::path image = Image(size);
    const Result r = Run("dump --image " + image.string());
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
      const char* expected = count < 16 ? "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00"
                                        : "FF FF FF FF FF FF FF FF  FF FF FF FF FF FF FF FF";
      EXPECT_EQ(line, expected) << "line " << count;
    }
    EXPECT_EQ(count, 32);
    // Dumping reads only: the file is as it was, in its own size.
    EXPECT_EQ(fs::file_size(image), size);
  }
}

TEST_F(Dump, BadInputsNameTheProblemAndExitWithTheirStatus) {
  const fs::path good = Image(512);
  const fs::path odd = Image(700, "odd.bin");
  fs::create_directories(root / "folder.bin");
  struct Case {
    std::string args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {"dump --image " + (root / "missing.bin").string(), 2, "missing.bin"},
      {"dump --image " + odd.string(), 2, "700"},
      {"dump --image " + (root / "folder.bin").string(), 4, "folder.bin"},
      {"dump --image " + good.string() + " --fault stuck=0x300.1", 2, "stuck=0x300.1"},
      {"dump --image " + good.string() + " --fault melt", 2, "melt"},
      {"dump", 2, "--image"},
      {"dump --image " + good.string() + " --port COM5", 2, "exactly one"},
      {"dump --image " + good.string() + " extra.xml", 2, "no file"},
      {"frobnicate", 2, "unknown verb"},
      {"dump --image " + good.string() + " --fault no-otp", 4, "could not be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_FALSE(fs::exists(root / "missing.bin"));
  EXPECT_EQ(fs::file_size(odd), 700u);
}

}  // namespace
