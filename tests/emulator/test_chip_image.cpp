// The emulated chip's image file: both sizes, the failure kinds, atomic
// saves and auto-save.
#include <gtest/gtest.h>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "chip_helpers.h"
#include "emulator/emulated_chip.h"

namespace qt70 {
namespace {

namespace fs = std::filesystem;
using namespace qt70::test;
using Bytes = std::vector<uint8_t>;

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qt70-image-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  static Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static Bytes Blank(size_t size) {
    Bytes b(size);
    for (size_t a = 0; a < size; ++a) b[a] = (a & 0x100) ? 0xFF : 0x00;
    return b;
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir;
  std::string error;
};

TEST_F(ImageTest, WritesBlankImagesOfBothSizes) {
  for (size_t size : {512u, 1024u}) {
    const std::string path = Path("blank" + std::to_string(size));
    ASSERT_EQ(EmulatedChip::WriteBlankImage(path, size, &error), ImageStatus::Ok) << error;
    EXPECT_EQ(Read(path), Blank(size));
  }
  EXPECT_EQ(EmulatedChip::WriteBlankImage(Path("odd"), 513, &error), ImageStatus::WrongSize);
  EXPECT_FALSE(fs::exists(Path("odd")));
}

TEST_F(ImageTest, BlankImageWithoutReplaceKeepsAnExistingFile) {
  const std::string path = Path("chip.bin");
  Bytes burnt = Blank(1024);
  burnt[0x10] = 0x5A;
  Write(path, burnt);
  EXPECT_EQ(EmulatedChip::WriteBlankImage(path, 1024, &error, false), ImageStatus::WriteFailed);
  EXPECT_NE(error.find("exists"), std::string::npos) << error;
  EXPECT_EQ(Read(path), burnt);
  EXPECT_EQ(Entries(), std::vector<std::string>{"chip.bin"});
  EXPECT_EQ(EmulatedChip::WriteBlankImage(Path("new.bin"), 512, &error, false), ImageStatus::Ok);
  EXPECT_EQ(Read(Path("new.bin")), Blank(512));
}

TEST_F(ImageTest, SmallImageMirrorsBankOneAndIsSavedAtItsSize) {
  const std::string path = Path("chip.bin");
  Bytes image = Blank(512);
  image[0x003] = 0x40;
  image[0x150] = 0x0F;
  Write(path, image);
  EmulatedChip chip;
  ASSERT_EQ(chip.LoadImage(path, &error), ImageStatus::Ok) << error;
  EXPECT_EQ(chip.Otp(0x003), 0x40);
  EXPECT_EQ(chip.Otp(0x203), 0x40);
  EXPECT_EQ(chip.Otp(0x350), 0x0F);

  EmulatedTransport port(chip);
  ASSERT_TRUE(WriteOtp(port, 0x010, 0x81));
  ASSERT_EQ(chip.SaveImage(&error), ImageStatus::Ok) << error;
  image[0x010] = 0x81;
  EXPECT_EQ(Read(path), image);
}

TEST_F(ImageTest, SmallImageStaysBankOneWhenBankTwoDiverges) {
  const std::string path = Path("chip.bin");
  Write(path, Blank(512));
  EmulatedChip chip;
  ASSERT_TRUE(chip.AddFault("stuck2=0x010.0", &error));
  ASSERT_EQ(chip.LoadImage(path, &error), ImageStatus::Ok);
  EmulatedTransport port(chip);
  ASSERT_TRUE(WriteOtp(port, 0x010, 0xFF));
  ASSERT_EQ(chip.Otp(0x210), 0xFE);
  ASSERT_EQ(chip.SaveImage(&error), ImageStatus::Ok);
  Bytes expected = Blank(512);
  expected[0x010] = 0xFF;
  EXPECT_EQ(Read(path), expected);
}

TEST_F(ImageTest, LargeImageHoldsBothBanks) {
  const std::string path = Path("chip.bin");
  Bytes image = Blank(1024);
  image[0x012] = 0x11;
  image[0x212] = 0x22;
  Write(path, image);
  EmulatedChip chip;
  ASSERT_EQ(chip.LoadImage(path, &error), ImageStatus::Ok);
  EXPECT_EQ(chip.Otp(0x012), 0x11);
  EXPECT_EQ(chip.Otp(0x212), 0x22);

  EmulatedTransport port(chip);
  ASSERT_TRUE(ControllerProgram(port, 0x3F0, 0xFE));  // bank 2, high region, bit 0
  ASSERT_EQ(chip.SaveImage(&error), ImageStatus::Ok);
  image[0x3F0] = 0xFE;
  EXPECT_EQ(Read(path), image);
}

TEST_F(ImageTest, LoadTellsTheFailureKindsApartAndKeepsTheChip) {
  Write(Path("good.bin"), Blank(512));
  for (size_t size : {0u, 1u, 511u, 513u, 1023u, 1025u, 4096u}) Write(Path("size" + std::to_string(size)), Bytes(size, 0x00));
  fs::create_directory(Path("folder"));
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  Write(Path("file"), Blank(512));

  struct Case {
    std::string path;
    ImageStatus status;
  } cases[] = {
      {Path("missing.bin"), ImageStatus::Missing},
      {Path("file/below"), ImageStatus::Missing},
      {Path("nofolder/chip.bin"), ImageStatus::Missing},
      {Path("folder"), ImageStatus::Unreadable},
      {Path("fifo"), ImageStatus::Unreadable},
      {Path("size0"), ImageStatus::WrongSize},
      {Path("size1"), ImageStatus::WrongSize},
      {Path("size511"), ImageStatus::WrongSize},
      {Path("size513"), ImageStatus::WrongSize},
      {Path("size1023"), ImageStatus::WrongSize},
      {Path("size1025"), ImageStatus::WrongSize},
      {Path("size4096"), ImageStatus::WrongSize},
  };
  EmulatedChip chip;
  chip.SetOtp(0x020, 0x77);
  ASSERT_EQ(chip.LoadImage(Path("good.bin"), &error), ImageStatus::Ok);
  chip.SetOtp(0x020, 0x77);
  for (const auto& c : cases) {
    error.clear();
    EXPECT_EQ(chip.LoadImage(c.path, &error), c.status) << c.path;
    EXPECT_NE(error.find(c.path), std::string::npos) << error;
    EXPECT_EQ(chip.Otp(0x020), 0x77) << c.path;
    EXPECT_EQ(chip.ImagePath(), Path("good.bin"));
  }
}

TEST_F(ImageTest, SaveReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  const std::string path = Path("chip.bin");
  Write(path, Blank(1024));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  EmulatedChip chip;
  ASSERT_EQ(chip.LoadImage(path, &error), ImageStatus::Ok);
  EmulatedTransport port(chip);
  ASSERT_TRUE(WriteOtp(port, 0x004, 0x07));

  // A reader that has the old file open keeps seeing all of the old file.
  std::ifstream old(path, std::ios::binary);
  ASSERT_EQ(chip.SaveImage(&error), ImageStatus::Ok) << error;
  Bytes before(std::istreambuf_iterator<char>(old), {});
  EXPECT_EQ(before, Blank(1024));
  Bytes after = Read(path);
  ASSERT_EQ(after.size(), 1024u);
  EXPECT_EQ(after[0x004], 0x07);
  EXPECT_EQ(after[0x204], 0x07);
  EXPECT_EQ(Entries(), std::vector<std::string>{"chip.bin"});
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ImageTest, FailedSaveLeavesTheOldFileAndNoPartialOne) {
  const std::string path = Path("chip.bin");
  Write(path, Blank(512));
  EmulatedChip chip;
  ASSERT_EQ(chip.LoadImage(path, &error), ImageStatus::Ok);
  chip.SetOtp(0x010, 0xFF);
  // A folder in the image's place cannot be renamed over.
  ASSERT_EQ(rename(path.c_str(), Path("moved").c_str()), 0);
  fs::create_directory(path);
  Write(path + "/keep", {1});
  EXPECT_EQ(chip.SaveImage(&error), ImageStatus::WriteFailed);
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ((std::vector<std::string>{"chip.bin", "moved"}), Entries());
  EXPECT_EQ(Read(Path("moved")), Blank(512));

  EmulatedChip unloaded;
  EXPECT_EQ(unloaded.SaveImage(&error), ImageStatus::WriteFailed);
}

TEST_F(ImageTest, SaveThroughASymbolicLinkUpdatesItsTarget) {
  Write(Path("real.bin"), Blank(512));
  ASSERT_EQ(symlink("real.bin", Path("link.bin").c_str()), 0);
  EmulatedChip chip;
  ASSERT_EQ(chip.LoadImage(Path("link.bin"), &error), ImageStatus::Ok);
  chip.SetOtp(0x011, 0x32);
  ASSERT_EQ(chip.SaveImage(&error), ImageStatus::Ok) << error;
  EXPECT_TRUE(fs::is_symlink(Path("link.bin")));
  EXPECT_EQ(Read(Path("real.bin"))[0x011], 0x32);
}

TEST_F(ImageTest, AutoSaveWritesEveryChangeAndOnlyChanges) {
  const std::string path = Path("chip.bin");
  Write(path, Blank(1024));
  EmulatedChip chip;
  ASSERT_EQ(chip.LoadImage(path, &error), ImageStatus::Ok);
  chip.SetAutoSave(true);
  EmulatedTransport port(chip);
  auto inode = [&] {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_ino;
  };

  ASSERT_TRUE(WriteOtp(port, 0x00C, 0x34));
  EXPECT_EQ(Read(path)[0x00C], 0x34);
  EXPECT_EQ(Read(path)[0x20C], 0x34);
  ASSERT_TRUE(ControllerProgram(port, 0x00D, 0x02));
  EXPECT_EQ(Read(path)[0x00D], 0x02);
  ASSERT_TRUE(ControllerProgram(port, 0x30D, 0xFE));
  EXPECT_EQ(Read(path)[0x30D], 0xFE);

  // Requests that change nothing do not touch the file.
  const auto saved = inode();
  ASSERT_TRUE(WriteOtp(port, 0x00C, 0x34));
  ASSERT_TRUE(ReadOtp(port, 0x00C));
  ASSERT_TRUE(ControllerRead(port, 0x00C));
  ASSERT_TRUE(ControllerProgram(port, 0x00D, 0x02));
  EXPECT_EQ(inode(), saved);
  EXPECT_EQ(Entries(), std::vector<std::string>{"chip.bin"});
}

TEST_F(ImageTest, AutoSaveFailureRejectsTheRequest) {
  const std::string path = Path("chip.bin");
  Write(path, Blank(512));
  EmulatedChip chip;
  ASSERT_EQ(chip.LoadImage(path, &error), ImageStatus::Ok);
  chip.SetAutoSave(true);
  EmulatedTransport port(chip);
  fs::remove_all(dir);
  EXPECT_FALSE(WriteOtp(port, 0x010, 0x01));
  EXPECT_EQ(chip.SaveFailures(), 1u);
  EXPECT_NE(chip.LastSaveError().find(path), std::string::npos) << chip.LastSaveError();
  EXPECT_TRUE(ReadOtp(port, 0x010));  // a read changes nothing and completes
}

}  // namespace
}  // namespace qt70
