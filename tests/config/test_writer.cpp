// The writer: the exact bytes of the file, the composed bytes, and saves
// that fail without leaving a partial file or replacing the old one.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "config_rig.h"

namespace qt70 {
namespace {

using test::ConfigRig;
using test::Entries;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

CSettings DialogSettings() {
  CSettings s;
  s.m_strVendorId = "0x1234";
  s.m_strDeviceId = "0xABCD";
  s.m_strMaxPower = "0x32";
  s.m_strManufacturer = "AB";
  s.m_strGpioMode = "0x5";
  s.m_strFlowControl = "0x12";
  s.m_strGpioDirection = "0x00";
  s.m_strGpioIntMask = "0x01";
  s.m_strPinPulldown = "0x02";
  s.m_strPinPullup = "0x03";
  s.m_strGpioSet = "0x04";
  s.m_bSelfPowered = 1;
  s.m_nBaudRate = 9600;
  s.m_nCharFormat = 1;
  s.m_nParity = 2;
  s.m_nDataBits = 1;
  s.m_bLowPowerActiveHigh = 1;
  s.m_bVbusSense = 1;
  s.m_nCoreClock = 0;
  return s;
}

std::string ByteLines(std::initializer_list<const char*> values) {
  std::string out;
  int i = 0;
  for (const char* v : values)
    out += "\t\t\t<Byte Index=\"" + std::to_string(i++) + "\">" + v + "</Byte>\n";
  return out;
}

struct WriterTest : ::testing::Test {
  ScratchDir dir;

  std::string Write(const CSettings& s) {
    std::string path = dir.File("out.xml");
    std::string error;
    EXPECT_TRUE(CConfigFiles::WriteConfigFile(s, path, &error)) << error;
    EXPECT_EQ(error, "");
    return ReadFile(path);
  }
};

TEST_F(WriterTest, DialogSettingsGiveExactlyThisFile) {
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Data>\n"
      "\t<Config Chip=\"QT70L5530IL16\" Version=\"1.0\">\n"
      "\t\t<GPIO_MODE>0x5</GPIO_MODE>\n"
      "\t\t<FLOW_CONTROL>0x12</FLOW_CONTROL>\n"
      "\t\t<USB_MAXPOWER>0x32</USB_MAXPOWER>\n"
      "\t\t<GPIO_DIRECTION>0x00</GPIO_DIRECTION>\n"
      "\t\t<GPIO_INT_MASK>0x01</GPIO_INT_MASK>\n"
      "\t\t<PIN_PULLDOWN_EN>0x02</PIN_PULLDOWN_EN>\n"
      "\t\t<PIN_PULLUP_EN>0x03</PIN_PULLUP_EN>\n"
      "\t\t<OTP_CONFIG0>0x02</OTP_CONFIG0>\n"
      "\t\t<GPIO_SET>0x04</GPIO_SET>\n"
      "\t\t<OTP_CONFIG3>0x0b</OTP_CONFIG3>\n"
      "\t\t<USB_ATTRIBUTES>0xc0</USB_ATTRIBUTES>\n"
      "\t\t<USB_VENDOR_ID>0x1234</USB_VENDOR_ID>\n"
      "\t\t<USB_PRODUCT_ID>0xABCD</USB_PRODUCT_ID>\n"
      "\t\t<MANUFACTURER_STRING>\n" +
      ByteLines({"0x41", "0x42", "0x00", "0x00", "0x00", "0x00", "0x00", "0x00", "0x00", "0x00",
                 "0x00", "0x00", "0x00", "0x00", "0x00", "0x00"}) +
      "\t\t</MANUFACTURER_STRING>\n"
      "\t\t<LINE_CODING>\n" +
      ByteLines({"0x80", "0x25", "0x00", "0x00", "0x02", "0x02", "0x08"}) +
      "\t\t</LINE_CODING>\n"
      "\t\t<ADDRESS_VALUE/>\n"
      "\t</Config>\n"
      "</Data>\n";
  EXPECT_EQ(Write(DialogSettings()), expected);
}

TEST_F(WriterTest, EmptySettingsKeepStartAndEndTagsAndWriteNoStrings) {
  CSettings s;                      // every text empty, every number 0
  s.m_bUseDefaultManufacturer = 0;  // the flags are not inputs of the writer
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Data>\n"
      "\t<Config Chip=\"QT70L5530IL16\" Version=\"1.0\">\n"
      "\t\t<GPIO_MODE></GPIO_MODE>\n"
      "\t\t<FLOW_CONTROL></FLOW_CONTROL>\n"
      "\t\t<USB_MAXPOWER></USB_MAXPOWER>\n"
      "\t\t<GPIO_DIRECTION></GPIO_DIRECTION>\n"
      "\t\t<GPIO_INT_MASK></GPIO_INT_MASK>\n"
      "\t\t<PIN_PULLDOWN_EN></PIN_PULLDOWN_EN>\n"
      "\t\t<PIN_PULLUP_EN></PIN_PULLUP_EN>\n"
      "\t\t<OTP_CONFIG0>0x00</OTP_CONFIG0>\n"
      "\t\t<GPIO_SET></GPIO_SET>\n"
      "\t\t<OTP_CONFIG3>0x03</OTP_CONFIG3>\n"
      "\t\t<USB_ATTRIBUTES>0x80</USB_ATTRIBUTES>\n"
      "\t\t<USB_VENDOR_ID></USB_VENDOR_ID>\n"
      "\t\t<USB_PRODUCT_ID></USB_PRODUCT_ID>\n"
      "\t\t<LINE_CODING>\n" +
      ByteLines({"0x00", "0x00", "0x00", "0x00", "0x00", "0x00", "0x07"}) +
      "\t\t</LINE_CODING>\n"
      "\t\t<ADDRESS_VALUE/>\n"
      "\t</Config>\n"
      "</Data>\n";
  EXPECT_EQ(Write(s), expected);
}

TEST_F(WriterTest, StringBytesAndEightBitText) {
  CSettings s = DialogSettings();
  s.m_strManufacturer = "123456789ABCDE\xe9";  // 15 characters, the last one 0xE9
  s.m_strProduct = "0123456789abcdefXYZ";      // too long: byte 15 is still the NUL
  s.m_strSerialNumber = "\x01 ";
  s.m_strGpioSet = "0x\xe9<&>\r\"'";
  std::string file = Write(s);
  EXPECT_NE(file.find("\t\t<MANUFACTURER_STRING>\n" +
                      ByteLines({"0x31", "0x32", "0x33", "0x34", "0x35", "0x36", "0x37", "0x38",
                                 "0x39", "0x41", "0x42", "0x43", "0x44", "0x45", "0xe9", "0x00"}) +
                      "\t\t</MANUFACTURER_STRING>\n"),
            std::string::npos);
  EXPECT_NE(file.find("<Byte Index=\"14\">0x65</Byte>\n\t\t\t<Byte Index=\"15\">0x00</Byte>\n"
                      "\t\t</PRODUCT_STRING>"),
            std::string::npos);
  EXPECT_NE(file.find("\t\t<SERIAL_NUMBER_STRING>\n\t\t\t<Byte Index=\"0\">0x01</Byte>\n"
                      "\t\t\t<Byte Index=\"1\">0x20</Byte>\n\t\t\t<Byte Index=\"2\">0x00</Byte>"),
            std::string::npos);
  // Element text is 8-bit text converted to UTF-8 and escaped by libxml2.
  EXPECT_NE(file.find("<GPIO_SET>0x\xc3\xa9&lt;&amp;&gt;&#13;\"'</GPIO_SET>"), std::string::npos)
      << file;
  // The strings come after the 13 single values, before LINE_CODING.
  EXPECT_LT(file.find("<USB_PRODUCT_ID>"), file.find("<MANUFACTURER_STRING>"));
  EXPECT_LT(file.find("</MANUFACTURER_STRING>"), file.find("<PRODUCT_STRING>"));
  EXPECT_LT(file.find("</PRODUCT_STRING>"), file.find("<SERIAL_NUMBER_STRING>"));
  EXPECT_LT(file.find("</SERIAL_NUMBER_STRING>"), file.find("<LINE_CODING>"));
}

TEST_F(WriterTest, ComposedBytes) {
  struct Case {
    const char* name;
    void (*set)(CSettings&);
    const char* element;
  };
  const Case cases[] = {
      {"self-powered only", [](CSettings& s) { s.m_bSelfPowered = 1; },
       "<USB_ATTRIBUTES>0xc0</USB_ATTRIBUTES>"},
      {"both attributes", [](CSettings& s) { s.m_bSelfPowered = s.m_bRemoteWakeup = 1; },
       "<USB_ATTRIBUTES>0xe0</USB_ATTRIBUTES>"},
      {"remote wake-up only", [](CSettings& s) { s.m_bRemoteWakeup = 1; },
       "<USB_ATTRIBUTES>0xa0</USB_ATTRIBUTES>"},
      {"no attribute", [](CSettings&) {}, "<USB_ATTRIBUTES>0x80</USB_ATTRIBUTES>"},
      {"VBUS sense at 6 MHz", [](CSettings& s) { s.m_bVbusSense = 1, s.m_nCoreClock = 0; },
       "<OTP_CONFIG3>0x0b</OTP_CONFIG3>"},
      {"12 MHz", [](CSettings& s) { s.m_nCoreClock = 1; }, "<OTP_CONFIG3>0x02</OTP_CONFIG3>"},
      {"24 MHz", [](CSettings& s) { s.m_nCoreClock = 2; }, "<OTP_CONFIG3>0x01</OTP_CONFIG3>"},
      {"48 MHz", [](CSettings& s) { s.m_nCoreClock = 3; }, "<OTP_CONFIG3>0x00</OTP_CONFIG3>"},
      {"no core clock is 48 MHz", [](CSettings& s) { s.m_nCoreClock = -1; },
       "<OTP_CONFIG3>0x00</OTP_CONFIG3>"},
      {"VBUS sense at 48 MHz", [](CSettings& s) { s.m_bVbusSense = 1, s.m_nCoreClock = 7; },
       "<OTP_CONFIG3>0x08</OTP_CONFIG3>"},
      {"low power active high", [](CSettings& s) { s.m_bLowPowerActiveHigh = 1; },
       "<OTP_CONFIG0>0x02</OTP_CONFIG0>"},
      {"low power active low", [](CSettings&) {}, "<OTP_CONFIG0>0x00</OTP_CONFIG0>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSettings s;
    c.set(s);
    EXPECT_NE(Write(s).find(std::string("\t\t") + c.element + "\n"), std::string::npos);
  }
}

TEST_F(WriterTest, LineCodingBytes) {
  struct Case {
    uint32_t baud;
    int charFormat, parity, dataBits;
    std::initializer_list<const char*> bytes;
  };
  const Case cases[] = {
      {9600, 1, 2, 1, {"0x80", "0x25", "0x00", "0x00", "0x02", "0x02", "0x08"}},
      {12000000, 0, 4, 2, {"0x00", "0x1b", "0xb7", "0x00", "0x00", "0x04", "0x09"}},
      {0xDEADBEEF, -1, -1, -1, {"0xef", "0xbe", "0xad", "0xde", "0x00", "0xff", "0x06"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    CSettings s;
    s.m_nBaudRate = c.baud;
    s.m_nCharFormat = c.charFormat;
    s.m_nParity = c.parity;
    s.m_nDataBits = c.dataBits;
    EXPECT_NE(Write(s).find("\t\t<LINE_CODING>\n" + ByteLines(c.bytes) + "\t\t</LINE_CODING>\n"),
              std::string::npos);
  }
}

TEST_F(WriterTest, TextThatXmlCannotCarryIsRefused) {
  CSettings s = DialogSettings();
  s.m_strFlowControl = std::string("0x1\x02", 4);
  std::string path = dir.File("out.xml");
  std::string error;
  EXPECT_FALSE(CConfigFiles::WriteConfigFile(s, path, &error));
  EXPECT_NE(error.find("FLOW_CONTROL"), std::string::npos) << error;
  EXPECT_NE(error.find("0x02"), std::string::npos) << error;
  EXPECT_TRUE(Entries(dir.path()).empty());
  s.m_strFlowControl = std::string("0x1\0", 4);
  EXPECT_FALSE(CConfigFiles::WriteConfigFile(s, path, &error));
  EXPECT_TRUE(Entries(dir.path()).empty());
}

// --- dynamDOM and failed saves ---------------------------------------------------

struct SaveTest : ::testing::Test {
  ScratchDir dir;
  std::string savedCwd = std::filesystem::current_path().string();
  ConfigRig rig;

  void SetUp() override { ASSERT_EQ(::chdir(dir.path().c_str()), 0); }
  void TearDown() override { ASSERT_EQ(::chdir(savedCwd.c_str()), 0); }
};

TEST_F(SaveTest, DynamDomSavesInTheCurrentDirectoryAndNamesTheFile) {
  EXPECT_STREQ(rig.files.XmlFile(), "");
  ASSERT_TRUE(rig.files.dynamDOM(DialogSettings()));
  EXPECT_STREQ(rig.files.XmlFile(), "QT70L5530_OTP.xml");
  EXPECT_EQ(rig.files.LastWriteError(), "");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"QT70L5530_OTP.xml"});
  struct stat st {};
  ASSERT_EQ(::stat("QT70L5530_OTP.xml", &st), 0);
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
  // Replaced without asking.
  CSettings other = DialogSettings();
  other.m_strGpioMode = "0x7";
  ASSERT_TRUE(rig.files.dynamDOM(other));
  EXPECT_NE(ReadFile("QT70L5530_OTP.xml").find("<GPIO_MODE>0x7</GPIO_MODE>"), std::string::npos);
}

// The tests run as root, for whom a read-only directory is no obstacle; the
// saves below fail in ways root cannot override.

TEST_F(SaveTest, WriteFailingHalfWayKeepsTheOldFile) {
  // A file-size limit makes the write fail with EFBIG after a few bytes.
  ASSERT_TRUE(rig.files.dynamDOM(DialogSettings()));
  const std::string old = ReadFile("QT70L5530_OTP.xml");
  ASSERT_GT(old.size(), 300u);

  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &saved), 0);
  struct rlimit limit {
  }, savedLimit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &savedLimit), 0);
  limit = savedLimit;
  limit.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);

  CSettings other = DialogSettings();
  other.m_strGpioMode = "0x7";
  bool saved_ok = rig.files.dynamDOM(other);
  std::string error;
  bool direct_ok = CConfigFiles::WriteConfigFile(other, dir.File("direct.xml"), &error);

  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &savedLimit), 0);
  ASSERT_EQ(::sigaction(SIGXFSZ, &saved, nullptr), 0);

  EXPECT_FALSE(saved_ok);
  EXPECT_NE(rig.files.LastWriteError().find("QT70L5530_OTP.xml"), std::string::npos);
  EXPECT_FALSE(direct_ok);
  EXPECT_NE(error.find("direct.xml"), std::string::npos) << error;
  EXPECT_EQ(ReadFile("QT70L5530_OTP.xml"), old);
  EXPECT_STREQ(rig.files.XmlFile(), "QT70L5530_OTP.xml");
  // No temporary file is left behind, and no partial direct.xml.
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"QT70L5530_OTP.xml"});
}

TEST_F(SaveTest, TargetThatIsADirectoryIsNotReplaced) {
  ASSERT_EQ(::mkdir("QT70L5530_OTP.xml", 0755), 0);
  WriteFile("QT70L5530_OTP.xml/keep", "x");
  EXPECT_FALSE(rig.files.dynamDOM(DialogSettings()));
  EXPECT_STREQ(rig.files.XmlFile(), "");
  EXPECT_NE(rig.files.LastWriteError(), "");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"QT70L5530_OTP.xml"});
  EXPECT_EQ(ReadFile("QT70L5530_OTP.xml/keep"), "x");
}

TEST_F(SaveTest, RemovedWorkingDirectoryFailsAndKeepsTheName) {
  ASSERT_TRUE(rig.files.dynamDOM(DialogSettings()));
  std::filesystem::remove_all(dir.path());
  EXPECT_FALSE(rig.files.dynamDOM(DialogSettings()));
  EXPECT_NE(rig.files.LastWriteError().find("cannot create a file"), std::string::npos)
      << rig.files.LastWriteError();
  EXPECT_STREQ(rig.files.XmlFile(), "QT70L5530_OTP.xml");
  std::string error;
  EXPECT_FALSE(CConfigFiles::WriteConfigFile(DialogSettings(), "", &error));
  EXPECT_NE(error, "");
}

}  // namespace
}  // namespace qt70
