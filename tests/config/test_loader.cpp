// The loader: what each element sets, the node counting, the Use Kelm
// Defaults flags, and files that leave the settings untouched.

#include <libxml/xmlreader.h>
#include <sys/stat.h>

#include <functional>

#include "config_rig.h"

namespace qt70 {
namespace {

using test::ConfigRig;
using test::ScratchDir;
using test::WriteFile;

// The writer's layout for the parts the cases vary.
std::string Line(std::initializer_list<const char*> values) {
  std::string out = "\n\t\t<LINE_CODING>";
  int i = 0;
  for (const char* v : values)
    out += "\n\t\t\t<Byte Index=\"" + std::to_string(i++) + "\">" + v + "</Byte>";
  return out + "\n\t\t</LINE_CODING>";
}

std::string String(const char* element, std::initializer_list<const char*> values) {
  std::string out = std::string("\n\t\t<") + element + ">";
  int i = 0;
  for (const char* v : values)
    out += "\n\t\t\t<Byte Index=\"" + std::to_string(i++) + "\">" + v + "</Byte>";
  return out + "\n\t\t</" + element + ">";
}

std::string Doc(const std::string& body) { return test::ConfigDoc(body + "\n\t"); }

// Settings as a dialog holds them before the load.
CSettings Before() {
  CSettings s;
  s.m_strComPort = "COM3";
  s.m_strVendorId = "0x1111";
  s.m_strDeviceId = "0x2222";
  s.m_strMaxPower = "0x10";
  s.m_strManufacturer = "Old";
  s.m_strProduct = "Old";
  s.m_strSerialNumber = "Old";
  s.m_strGpioMode = "0x01";
  s.m_nBaudRate = 115200;
  s.m_nCharFormat = 1;
  s.m_nParity = 3;
  s.m_nDataBits = 2;
  s.m_nCoreClock = 2;
  s.m_bSelfPowered = 1;
  return s;
}

struct LoaderTest : ::testing::Test {
  ScratchDir dir;
  ConfigRig rig;

  bool Load(const std::string& xml, CSettings& s) {
    std::string path = dir.File("in.xml");
    WriteFile(path, xml);
    return rig.files.LoadXmlFile(path, s);
  }
};

struct LoadCase {
  const char* name;
  std::string body;
  std::function<void(CSettings&)> expect;  // changes from Before()
};

TEST_F(LoaderTest, ElementsSetTheirSettings) {
  const LoadCase cases[] = {
      {"nothing but the strings are touched by an empty Config", "",
       [](CSettings& s) {
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"texts taken unchanged",
       "\n\t\t<GPIO_MODE>0x5</GPIO_MODE>\n\t\t<FLOW_CONTROL>0x12</FLOW_CONTROL>"
       "\n\t\t<USB_MAXPOWER> 7 </USB_MAXPOWER>\n\t\t<GPIO_DIRECTION>x</GPIO_DIRECTION>"
       "\n\t\t<GPIO_INT_MASK>0x\xc3\xa9</GPIO_INT_MASK>\n\t\t<PIN_PULLDOWN_EN>&lt;&amp;</"
       "PIN_PULLDOWN_EN>"
       "\n\t\t<PIN_PULLUP_EN>\xe2\x82\xac</PIN_PULLUP_EN>\n\t\t<GPIO_SET>0x04</GPIO_SET>"
       "\n\t\t<USB_VENDOR_ID>0x1234</USB_VENDOR_ID>\n\t\t<USB_PRODUCT_ID>0xabcd</USB_PRODUCT_ID>",
       [](CSettings& s) {
         s.m_strGpioMode = "0x5";
         s.m_strFlowControl = "0x12";
         s.m_strMaxPower = " 7 ";
         s.m_strGpioDirection = "x";
         s.m_strGpioIntMask = "0x\xe9";  // back to 8-bit text
         s.m_strPinPulldown = "<&";
         s.m_strPinPullup = "?";  // a character outside 8-bit text
         s.m_strGpioSet = "0x04";
         s.m_strVendorId = "0x1234";
         s.m_strDeviceId = "0xabcd";
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"composed bytes, read as hexadecimal",
       "\n\t\t<OTP_CONFIG0>0x02</OTP_CONFIG0>\n\t\t<OTP_CONFIG3>0x0b</OTP_CONFIG3>"
       "\n\t\t<USB_ATTRIBUTES>0x60</USB_ATTRIBUTES>",
       [](CSettings& s) {
         s.m_bLowPowerActiveHigh = 1;
         s.m_bVbusSense = 1;
         s.m_nCoreClock = 0;
         s.m_bSelfPowered = 1;
         s.m_bRemoteWakeup = 1;
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"bit 2 of OTP_CONFIG3 is not looked at; 10 is hexadecimal here",
       "\n\t\t<OTP_CONFIG0>fd</OTP_CONFIG0>\n\t\t<OTP_CONFIG3>0x04</OTP_CONFIG3>"
       "\n\t\t<USB_ATTRIBUTES>10</USB_ATTRIBUTES>",
       [](CSettings& s) {
         s.m_bLowPowerActiveHigh = 0;
         s.m_bVbusSense = 0;
         s.m_nCoreClock = 3;
         s.m_bSelfPowered = 0;
         s.m_bRemoteWakeup = 0;
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"line coding 9600 8N1", Line({"0x80", "0x25", "0x00", "0x00", "0x00", "0x00", "0x08"}),
       [](CSettings& s) {
         s.m_nBaudRate = 9600;
         s.m_nCharFormat = 0;
         s.m_nParity = 0;
         s.m_nDataBits = 1;
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"line coding with values no list shows; Index ignored",
       "\n\t\t<LINE_CODING>\n\t\t\t<Byte Index=\"6\">0x00</Byte><Byte Index=\"5\">0x1b</Byte>"
       "<Byte Index=\"4\">0xb7</Byte><Byte Index=\"3\">0x00</Byte><Byte Index=\"2\">0x01</Byte>"
       "<Byte Index=\"1\">0x04</Byte><Byte Index=\"0\">0x05</Byte></LINE_CODING>",
       [](CSettings& s) {
         s.m_nBaudRate = 12000000;
         s.m_nCharFormat = -1;
         s.m_nParity = 4;
         s.m_nDataBits = 5;
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"two stop bits, data bits 9, joined texts without 0x",
       Line({"1", "2", "3", "4", "2", "1", "9"}),
       [](CSettings& s) {
         // "1", then each later text after the first two characters: "1243".
         s.m_nBaudRate = 0x1243;
         s.m_nCharFormat = 1;
         s.m_nParity = 1;
         s.m_nDataBits = 2;
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"strings from byte values, ending at the first zero byte",
       String("MANUFACTURER_STRING", {"0x41", "0x42", "0xe9", "0", "0", "0", "0", "0", "0", "0",
                                      "0", "0", "0", "0", "0", "0"}) +
           String("PRODUCT_STRING", {"0x00", "0x41", "0", "0", "0", "0", "0", "0", "0", "0", "0",
                                     "0", "0", "0", "0", "0"}) +
           String("SERIAL_NUMBER_STRING", {"0x31", "0", "0x32", "0", "0", "0", "0", "0", "0", "0",
                                           "0", "0", "0", "0", "0", "0"}),
       [](CSettings& s) {
         s.m_strManufacturer = "AB\xe9";
         s.m_strProduct = "";
         s.m_strSerialNumber = "1";
         s.m_bUseDefaultManufacturer = 0;
         s.m_bUseDefaultProduct = 1;
         s.m_bUseDefaultSerial = 0;
       }},
      {"pairs and unknown elements change nothing",
       "\n\t\t<ADDRESS_VALUE>\n\t\t\t<Value Address=\"0xC0D\">0x2FF</Value>\n\t\t</ADDRESS_VALUE>"
       "\n\t\t<Other>0x1</Other><!-- GPIO_MODE --><?GPIO_MODE 0x9?>",
       [](CSettings& s) {
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      // Counting nodes: an empty text gives no text node, so the first
      // advance already reaches the end tag and the next one the following
      // element, whose own end tag is then taken for its start.
      {"an empty text shifts the counting",
       "\n\t\t<GPIO_MODE></GPIO_MODE>\n\t\t<FLOW_CONTROL>0x12</FLOW_CONTROL>"
       "\n\t\t<USB_MAXPOWER>0x32</USB_MAXPOWER>\n\t\t<GPIO_SET>0x04</GPIO_SET>",
       [](CSettings& s) {
         s.m_strGpioMode = "";
         s.m_strFlowControl = "";  // took USB_MAXPOWER's start node
         s.m_strMaxPower = "";     // took GPIO_SET's start node
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    CSettings s = Before();
    CSettings want = Before();
    c.expect(want);
    rig.ui.Clear();
    ASSERT_TRUE(Load(Doc(c.body), s));
    EXPECT_EQ(s, want);
    EXPECT_TRUE(rig.ui.boxes.empty());
  }
}

TEST_F(LoaderTest, FilesOfAnotherShapeAreCountedWithoutReadingPastTheirEnd) {
  // Short string and line-coding lists at the very end of the file, a
  // single-node element at the end, and odd texts for the joined baud rate.
  const std::string bodies[] = {
      "<MANUFACTURER_STRING><Byte Index=\"0\">0x41</Byte></MANUFACTURER_STRING>",
      "<LINE_CODING><Byte>x</Byte><Byte/></LINE_CODING>",
      "<LINE_CODING/>",
      "<GPIO_MODE/>",
      "<OTP_CONFIG3/>",
      "<LINE_CODING><Byte>1</Byte><Byte></Byte><Byte>0x</Byte><Byte>123456</Byte></LINE_CODING>",
  };
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body);
    CSettings s = Before();
    EXPECT_TRUE(Load("<Data><Config Version=\"1.0\">" + body + "</Config></Data>", s));
    EXPECT_LE(s.m_strManufacturer.size(), 16u);
    EXPECT_TRUE(Load(body, s));  // the element as the whole document
  }
}

TEST_F(LoaderTest, FailuresLeaveEverySettingAsItWas) {
  const CSettings before = Before();
  std::string fifo = dir.File("fifo.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string truncated = dir.File("truncated.xml");
  // Well-formed up to the last line: the strings and the line coding have
  // already been read when the fault is met.
  std::string whole =
      Doc(String("MANUFACTURER_STRING", {"0x41", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0",
                                         "0", "0", "0", "0", "0"}) +
          Line({"0x80", "0x25", "0", "0", "0", "0", "0x08"}) + "\n\t\t<GPIO_MODE>0x5</GPIO_MODE>");
  WriteFile(truncated, whole.substr(0, whole.size() - 20));
  std::string mismatched = dir.File("mismatched.xml");
  WriteFile(mismatched, "<Data>\n<Config Version=\"1.0\">\n<GPIO_MODE>0x5</GPIO_MODE>\n</Data>\n");
  // The reader starts over after an error; a walk must not follow it.
  std::string unclosed = dir.File("unclosed.xml");
  WriteFile(unclosed, "<USB_MAXPOWER>");
  std::string empty = dir.File("empty.xml");
  WriteFile(empty, "");
  struct Case {
    std::string path;
    const char* problem;
  };
  const Case cases[] = {
      {dir.File("absent.xml"), "No such file or directory"},
      {dir.path(), "is a directory"},
      {fifo, "not a regular file"},
      {truncated, "line "},
      {mismatched, "line 4: Opening and ending tag mismatch"},
      {empty, "the file is empty"},
      {unclosed, "line 1: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CSettings s = before;
    rig.ui.Clear();
    EXPECT_FALSE(rig.files.LoadXmlFile(c.path, s));
    EXPECT_EQ(s, before);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].caption, "Error");
    EXPECT_EQ(rig.ui.boxes[0].style, MB_ICONERROR);
    EXPECT_NE(rig.ui.boxes[0].text.find(c.path), std::string::npos) << rig.ui.boxes[0].text;
    EXPECT_NE(rig.ui.boxes[0].text.find(c.problem), std::string::npos) << rig.ui.boxes[0].text;
  }
}

TEST_F(LoaderTest, EmptyPathAsksForAFile) {
  CSettings s = Before();
  EXPECT_FALSE(rig.files.LoadXmlFile("", s));
  EXPECT_EQ(s, Before());
  EXPECT_EQ(rig.ui.boxes, (std::vector<test::MessageBoxCall>{
                              {"You must first specify an XML file to read", "", MB_OK}}));
}

TEST_F(LoaderTest, ExternalEntitiesAreNotLoaded) {
  std::string secret = dir.File("secret.txt");
  WriteFile(secret, "0x55");
  CSettings s = Before();
  ASSERT_TRUE(Load("<?xml version=\"1.0\"?>\n<!DOCTYPE Data [<!ENTITY ext SYSTEM \"file://" +
                       secret +
                       "\">]>\n<Data><Config Version=\"1.0\"><GPIO_MODE>&ext;</GPIO_MODE>"
                       "</Config></Data>",
                   s));
  EXPECT_EQ(s.m_strGpioMode, "");  // the entity reference node, not the file's text
}

TEST(ReadNextNode, SkipsWhiteSpaceAndStopsOnContent) {
  ScratchDir dir;
  std::string path = dir.File("n.xml");
  WriteFile(path, "<?xml version=\"1.0\"?>\n<!-- c -->\n<A>\n\t<?p?><B>t</B>\n</A>\n");
  xmlTextReaderPtr reader = xmlReaderForFile(path.c_str(), nullptr, 0);
  ASSERT_NE(reader, nullptr);
  std::vector<std::string> seen;
  while (ReadNextNode(reader, 1) == 1) {
    const xmlChar* name = xmlTextReaderConstName(reader);
    seen.push_back(std::to_string(xmlTextReaderNodeType(reader)) + ":" +
                   reinterpret_cast<const char*>(name));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1:A", "1:B", "3:#text", "15:B", "15:A"}));
  EXPECT_EQ(ReadNextNode(reader, 1), 0);
  EXPECT_EQ(ReadNextNode(reader, 0), 0);
  xmlFreeTextReader(reader);
}

}  // namespace
}  // namespace qt70
