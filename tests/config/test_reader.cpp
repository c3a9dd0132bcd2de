// The reader of the programming run: numbers, records, request flags,
// messages, and the files it rejects without touching the records.

#include <sys/stat.h>

#include <functional>

#include "config_rig.h"
#include "support/trace_capture.h"

namespace qt70 {
namespace {

using test::Bytes;
using test::ConfigDoc;
using test::ConfigRig;
using test::ScratchDir;
using test::WriteFile;

constexpr const char kParseFailed[] =
    "xml file not parsed successfully. Check the input .xml file name.";
constexpr const char kUnknown[] = "Some unknown tags in the file. Please check";

// Every record and request flag, as bytes, to see that nothing changed.
std::string Snapshot(const COtpEngine& e) {
  std::string s;
  auto add = [&](const auto& r) { s.append(reinterpret_cast<const char*>(&r), sizeof r); };
  add(e.m_recConfig0), add(e.m_recConfig3), add(e.m_recUsbAttributes), add(e.m_recUsbMaxPower);
  add(e.m_recUsbVendorId), add(e.m_recUsbProductId), add(e.m_recAddressValue);
  add(e.m_recManufacturerString), add(e.m_recProductString), add(e.m_recSerialNumberString);
  add(e.m_recLineCoding), add(e.m_recGpioDirection), add(e.m_recGpioIntMask);
  add(e.m_recGpioMode), add(e.m_recGpioSet), add(e.m_recPinPulldownEn), add(e.m_recPinPullupEn);
  add(e.m_recFlowControl), add(e.m_bXmlUsbValid), add(e.m_bXmlStringsValid), add(e.m_bXmlLineValid);
  return s;
}

struct ReaderTest : ::testing::Test {
  ScratchDir dir;
  ConfigRig rig;
  COtpEngine& e = rig.engine;

  int Parse(const std::string& xml) {
    std::string path = dir.File("in.xml");
    WriteFile(path, xml);
    return rig.files.parseDoc(path.c_str());
  }
};

// --- Numbers ------------------------------------------------------------------

struct NumberCase {
  const char* element;
  const char* text;
  unsigned expected;  // xml after the cut to the field's width
  int usbValid;
};

TEST_F(ReaderTest, NumbersFollowStrtoulBaseZeroThenTheFieldWidth) {
  const NumberCase cases[] = {
      {"OTP_CONFIG0", "0x41", 0x41, 0},
      {"OTP_CONFIG0", "65", 0x41, 0},
      {"OTP_CONFIG0", "0101", 0x41, 0},          // octal
      {"OTP_CONFIG0", "  \n\t0X41zz", 0x41, 0},  // leading space, stop at junk
      {"OTP_CONFIG0", "abc", 0, 0},              // no number
      {"OTP_CONFIG0", "", 0, 0},                 // no text at all
      {"OTP_CONFIG0", "08", 0, 0},               // octal stops at 8
      {"OTP_CONFIG0", "-1", 0xFF, 0},            // negated modulo 2^64, cut
      {"OTP_CONFIG3", "0x1234", 0x34, 0},
      {"GPIO_MODE", "0x1ff", 0xFF, 0},
      {"USB_VENDOR_ID", "0x11234", 0x1234, 1},
      {"USB_VENDOR_ID", "99999999999999999999999", 0xFFFF, 1},  // saturates
      {"USB_PRODUCT_ID", "0x10000", 0x0000, 1},                 // zero only after the cut
      {"USB_ATTRIBUTES", "0x00", 0x00, 0},
      {"USB_ATTRIBUTES", "0x80", 0x80, 1},
      {"USB_ATTRIBUTES", "0x100", 0x00, 1},
      {"USB_MAXPOWER", "0x32", 0x32, 1},
      {"USB_MAXPOWER", "0", 0, 0},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(std::string(c.element) + " '" + c.text + "'");
    e.reset_run_state();
    std::string body = std::string("<") + c.element + ">" + c.text + "</" + c.element + ">";
    ASSERT_EQ(Parse(ConfigDoc(body)), 1);
    const mlc_tag* tag = e.find_tag(c.element);
    ASSERT_NE(tag, nullptr);
    unsigned req = 0, xml = 0;
    if (tag->type == TYPE_MLC16) {
      req = static_cast<mlc_16*>(tag->record)->req;
      xml = static_cast<mlc_16*>(tag->record)->xml;
    } else if (tag->type == TYPE_GEN) {
      req = static_cast<mlc_gen*>(tag->record)->req;
      xml = static_cast<mlc_gen*>(tag->record)->xml;
    } else {
      req = static_cast<mlc_8*>(tag->record)->req;
      xml = static_cast<mlc_8*>(tag->record)->xml;
    }
    EXPECT_EQ(req, 1u);
    EXPECT_EQ(xml, c.expected);
    EXPECT_EQ(e.m_bXmlUsbValid, c.usbValid);
    EXPECT_EQ(e.m_bXmlStringsValid, 0);
    EXPECT_TRUE(rig.ui.boxes.empty());
  }
}

// --- Records of the list-shaped fields ------------------------------------------

struct RecordCase {
  const char* name;
  std::string body;
  std::function<void(const COtpEngine&)> check;
};

TEST_F(ReaderTest, ListFieldsFillTheirRecords) {
  const RecordCase cases[] = {
      {"string AB padded with zeros",
       "<MANUFACTURER_STRING>" +
           Bytes({"0x41", "0x42", "0x00", "0x00", "0x00", "0x00", "0x00", "0x00", "0x00", "0x00",
                  "0x00", "0x00", "0x00", "0x00", "0x00", "0x00"}) +
           "</MANUFACTURER_STRING>",
       [](const COtpEngine& e) {
         EXPECT_STREQ(e.m_recManufacturerString.xml, "AB");
         EXPECT_EQ(e.m_recManufacturerString.req, 3u);
         EXPECT_EQ(e.m_bXmlStringsValid, 1);
       }},
      {"string of zero bytes only",
       "<PRODUCT_STRING>" + Bytes({"0x00", "0x00", "0x00"}) + "</PRODUCT_STRING>",
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recProductString.req, 1u);
         EXPECT_EQ(e.m_recProductString.xml[0], 0);
         EXPECT_EQ(e.m_bXmlStringsValid, 0);
       }},
      {"string without children", "<PRODUCT_STRING/>",
       [](const COtpEngine& e) { EXPECT_EQ(e.m_recProductString.req, 1u); }},
      {"NUL goes after the count of characters, not after the highest Index",
       "<SERIAL_NUMBER_STRING><Byte Index=\"0\">0x41</Byte><Byte Index=\"5\">0x42</Byte>"
       "</SERIAL_NUMBER_STRING>",
       [](const COtpEngine& e) {
         const mlc_string& r = e.m_recSerialNumberString;
         EXPECT_EQ(r.req, 3u);
         EXPECT_EQ(r.xml[0], 'A');
         EXPECT_EQ(r.xml[2], 0);
         EXPECT_EQ(r.xml[5], 'B');
       }},
      {"a byte of 0x100 counts and stores 0; Index 010 is octal 8",
       "<MANUFACTURER_STRING><Byte Index=\"0\">65</Byte><Byte Index=\"010\">0x100</Byte>"
       "</MANUFACTURER_STRING>",
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recManufacturerString.req, 3u);
         EXPECT_EQ(e.m_recManufacturerString.xml[8], 0);
         EXPECT_EQ(e.m_recManufacturerString.xml[0], 'A');
       }},
      {"15 characters fit with their NUL",
       "<MANUFACTURER_STRING>" +
           Bytes({"0x31", "0x32", "0x33", "0x34", "0x35", "0x36", "0x37", "0x38", "0x39", "0x41",
                  "0x42", "0x43", "0x44", "0x45", "0xe9", "0x00"}) +
           "</MANUFACTURER_STRING>",
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recManufacturerString.req, 16u);
         EXPECT_EQ(std::string(e.m_recManufacturerString.xml, 16),
                   std::string("123456789ABCDE\xe9", 15) + '\0');
       }},
      {"a repeated string element adds to the first",
       "<PRODUCT_STRING><Byte Index=\"0\">0x41</Byte></PRODUCT_STRING>"
       "<PRODUCT_STRING><Byte Index=\"0\">0x42</Byte></PRODUCT_STRING>",
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recProductString.req, 4u);
         EXPECT_EQ(e.m_recProductString.xml[0], 'B');
         EXPECT_EQ(e.m_recProductString.xml[3], 0);
       }},
      {"line coding of the writer's 9600 8N1",
       "<LINE_CODING>" + Bytes({"0x80", "0x25", "0x00", "0x00", "0x00", "0x00", "0x08"}) +
           "</LINE_CODING>",
       [](const COtpEngine& e) {
         const uint8_t want[7] = {0x80, 0x25, 0, 0, 0, 0, 0x08};
         EXPECT_EQ(std::memcmp(e.m_recLineCoding.xml, want, 7), 0);
         EXPECT_EQ(e.m_recLineCoding.req, 7u);
         EXPECT_EQ(e.m_bXmlLineValid, 1);
       }},
      {"line coding of zeros is not requested",
       "<LINE_CODING>" + Bytes({"0", "0", "0", "0", "0", "0", "0"}) + "</LINE_CODING>",
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recLineCoding.req, 0u);
         EXPECT_EQ(e.m_bXmlLineValid, 0);
       }},
      {"part of a line coding counts the bytes given",
       "<LINE_CODING><Byte Index=\"6\">0x07</Byte><Byte Index=\"5\">0</Byte></LINE_CODING>",
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recLineCoding.req, 2u);
         EXPECT_EQ(e.m_recLineCoding.xml[6], 7);
       }},
      {"pairs are masked to 12 bits",
       "<ADDRESS_VALUE><Value Address=\"0x1C0D\">0x2FF</Value><Value Address=\"291\">0x1abc"
       "</Value></ADDRESS_VALUE>",
       [](const COtpEngine& e) {
         const mlc_av& av = e.m_recAddressValue;
         ASSERT_EQ(av.count, 2u);
         EXPECT_EQ(av.address[0], 0xC0D);
         EXPECT_EQ(av.value[0], 0x2FF);
         EXPECT_EQ(av.address[1], 0x123);
         EXPECT_EQ(av.value[1], 0xABC);
       }},
      {"148 pairs fit",
       [] {
         std::string s = "<ADDRESS_VALUE>";
         for (int i = 1; i <= 148; ++i)
           s += "<Value Address=\"" + std::to_string(i) + "\">" + std::to_string(i) + "</Value>";
         return s + "</ADDRESS_VALUE>";
       }(),
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recAddressValue.count, 148u);
         EXPECT_EQ(e.m_recAddressValue.address[147], 148);
       }},
      {"empty ADDRESS_VALUE changes nothing", "<ADDRESS_VALUE/>",
       [](const COtpEngine& e) { EXPECT_EQ(e.m_recAddressValue.count, 0u); }},
      {"a second Config adds to the first; fields given twice count twice",
       "<GPIO_MODE>0x01</GPIO_MODE></Config><Config Version=\"1.0\"><GPIO_MODE>0x02</GPIO_MODE>",
       [](const COtpEngine& e) {
         EXPECT_EQ(e.m_recGpioMode.req, 2u);
         EXPECT_EQ(e.m_recGpioMode.xml, 2);
       }},
      {"other children of Byte lists are skipped",
       "<LINE_CODING><!-- c --><Other>5</Other><Byte Index=\"0\">0x01</Byte>text</LINE_CODING>",
       [](const COtpEngine& e) { EXPECT_EQ(e.m_recLineCoding.req, 1u); }},
      {"entity references are replaced by their text", "<GPIO_SET>0x&#x31;&amp;</GPIO_SET>",
       [](const COtpEngine& e) { EXPECT_EQ(e.m_recGpioSet.xml, 1); }},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    e.reset_run_state();
    rig.ui.Clear();
    ASSERT_EQ(Parse(ConfigDoc(c.body)), 1);
    c.check(e);
    EXPECT_TRUE(rig.ui.boxes.empty());
  }
}

// --- Messages -------------------------------------------------------------------

struct MessageCase {
  const char* name;
  std::string xml;
  int result;
  std::vector<test::MessageBoxCall> boxes;
};

TEST_F(ReaderTest, DocumentLevelOutcomesAndMessages) {
  const test::MessageBoxCall parseFailed{kParseFailed, "Error", MB_ICONERROR};
  const test::MessageBoxCall unknown{kUnknown, "Warning", MB_ICONEXCLAMATION};
  const MessageCase cases[] = {
      {"not well-formed", "<Data><Config Version=\"1.0\"></Data>", 0, {parseFailed}},
      {"empty file", "", 0, {parseFailed}},
      {"wrong root (case-sensitive)",
       "<data><Config Version=\"1.0\"/></data>",
       0,
       {{"xml Document is of a wrong type; root node != Data", "Error", MB_ICONERROR}}},
      {"root with white space only", "<Data>\n\t\n</Data>", 1, {}},
      {"no Config", "<Data><Other/><!-- c --><?pi x?>text</Data>", 1, {}},
      {"unknown element inside Config",
       ConfigDoc("<usb_vendor_id>1</usb_vendor_id>"),
       1,
       {unknown}},
      {"one box per comment inside Config",
       ConfigDoc("<!-- a --><GPIO_SET>1</GPIO_SET><!-- b -->"),
       1,
       {unknown, unknown}},
      {"processing instruction named as a field inside Config",
       ConfigDoc("<?GPIO_MODE 5?>"),
       1,
       {unknown}},
      {"an element named text is passed over", ConfigDoc("<text>1</text>"), 1, {}},
      {"field elements outside Config are ignored",
       "<Data><USB_VENDOR_ID>1</USB_VENDOR_ID><Config Version=\"1.0\"/></Data>",
       1,
       {}},
      {"unsupported version",
       "<Data><Config Version=\"2.0\"><GPIO_MODE>1</GPIO_MODE></Config></Data>",
       0,
       {{"Unsupported file format version: 2.0. Exiting application", "Error", MB_ICONERROR}}},
      {"absent version",
       "<Data><Config Chip=\"QT70L5530IL16\"/></Data>",
       0,
       {{"Unsupported file format version: (none). Exiting application", "Error", MB_ICONERROR}}},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.name);
    ConfigRig fresh;
    std::string path = dir.File("msg.xml");
    WriteFile(path, c.xml);
    EXPECT_EQ(fresh.files.parseDoc(path.c_str()), c.result);
    EXPECT_EQ(fresh.ui.boxes, c.boxes);
    EXPECT_EQ(fresh.engine.m_recGpioMode.req, 0u);
    EXPECT_EQ(fresh.engine.m_recUsbVendorId.req, 0u);
  }
}

TEST_F(ReaderTest, MissingFileDirectoryAndFifoFailWithoutWaiting) {
  std::string fifo = dir.File("fifo.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir.File("absent.xml"), dir.path(), fifo, std::string()}) {
    SCOPED_TRACE(path);
    rig.ui.Clear();
    EXPECT_EQ(rig.files.parseDoc(path.c_str()), 0);
    EXPECT_EQ(rig.ui.BoxTexts(), std::vector<std::string>{kParseFailed});
  }
}

TEST_F(ReaderTest, UnsupportedVersionStopsReadingAndAsksToExit) {
  // A good Config, then a bad one, then another good one: nothing of the
  // file is kept, the third Config is not read, and the application must end.
  std::string xml =
      "<Data><Config Version=\"1.0\"><GPIO_MODE>1</GPIO_MODE></Config>"
      "<Config Version=\"1.0 \"><GPIO_SET>1</GPIO_SET></Config>"
      "<Config Version=\"1.0\"><USB_VENDOR_ID>hello</USB_VENDOR_ID></Config></Data>";
  std::string before = Snapshot(e);
  EXPECT_FALSE(rig.files.ExitRequested());
  EXPECT_EQ(Parse(xml), 0);
  EXPECT_TRUE(rig.files.ExitRequested());
  EXPECT_EQ(rig.ui.BoxTexts(),
            std::vector<std::string>{"Unsupported file format version: 1.0 . Exiting application"});
  EXPECT_EQ(Snapshot(e), before);
}

TEST_F(ReaderTest, NoExternalEntityOrDtdIsLoaded) {
  std::string secret = dir.File("secret.txt");
  WriteFile(secret, "0x55");
  std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE Data [\n<!ENTITY ext SYSTEM \"file://" +
                    secret + "\">\n]>\n" + test::DataConfig("<GPIO_MODE>&ext;</GPIO_MODE>");
  ASSERT_EQ(Parse(xml), 1);
  EXPECT_EQ(e.m_recGpioMode.req, 1u);
  EXPECT_EQ(e.m_recGpioMode.xml, 0);
  // An external DTD is not fetched either: the file still parses.
  std::string dtd =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE Data SYSTEM \"http://127.0.0.1:9/x.dtd\">\n" +
      test::DataConfig("<GPIO_SET>0x7</GPIO_SET>");
  ASSERT_EQ(Parse(dtd), 1);
  EXPECT_EQ(e.m_recGpioSet.xml, 7);
}

TEST_F(ReaderTest, NestedEntityExpansionIsRefused) {
  std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE Data [\n<!ENTITY a \"0123456789\">\n";
  char prev = 'a';
  for (char c = 'b'; c <= 'k'; ++c, ++prev) {
    xml += std::string("<!ENTITY ") + c + " \"";
    for (int i = 0; i < 10; ++i) xml += std::string("&") + prev + ";";
    xml += "\">\n";
  }
  xml += "]>\n<Data><Config Version=\"1.0\"><GPIO_MODE>&k;</GPIO_MODE></Config></Data>\n";
  EXPECT_EQ(Parse(xml), 0);
  EXPECT_EQ(rig.ui.BoxTexts(), std::vector<std::string>{kParseFailed});
}

// --- Rejected files ---------------------------------------------------------------

struct RejectCase {
  const char* name;
  std::string body;
  const char* element;  // named in the message
  const char* problem;  // part of the message
};

std::string Pairs(int first, int count) {
  std::string s = "<ADDRESS_VALUE>";
  for (int i = first; i < first + count; ++i)
    s += "<Value Address=\"" + std::to_string(i) + "\">1</Value>";
  return s + "</ADDRESS_VALUE>";
}

std::string NonZeroString(const char* element, int count) {
  std::string s = std::string("<") + element + ">";
  for (int i = 0; i < count; ++i) s += "<Byte Index=\"" + std::to_string(i % 16) + "\">0x41</Byte>";
  return s + "</" + element + ">";
}

TEST_F(ReaderTest, FilesBreakingTheRecordBoundsAreRejectedWithoutChange) {
  const RejectCase cases[] = {
      {"string Index 16", "<PRODUCT_STRING><Byte Index=\"16\">0x41</Byte></PRODUCT_STRING>",
       "PRODUCT_STRING", "Index \"16\" is outside 0-15"},
      {"string Index -1 (huge after strtoul)",
       "<PRODUCT_STRING><Byte Index=\"-1\">0x00</Byte></PRODUCT_STRING>", "PRODUCT_STRING",
       "Index \"-1\" is outside 0-15"},
      {"string Index that only fits after a cut",
       "<PRODUCT_STRING><Byte Index=\"0x10000000F\">0x41</Byte></PRODUCT_STRING>", "PRODUCT_STRING",
       "outside 0-15"},
      {"16 non-zero string bytes", NonZeroString("SERIAL_NUMBER_STRING", 16),
       "SERIAL_NUMBER_STRING", "terminating NUL"},
      {"string given again after 15 characters",
       NonZeroString("MANUFACTURER_STRING", 15) + "<MANUFACTURER_STRING/>", "MANUFACTURER_STRING",
       "terminating NUL"},
      {"string growing past 15 over repeated elements",
       NonZeroString("MANUFACTURER_STRING", 10) + NonZeroString("MANUFACTURER_STRING", 5),
       "MANUFACTURER_STRING", "terminating NUL"},
      {"string Byte without Index", "<MANUFACTURER_STRING><Byte>0x41</Byte></MANUFACTURER_STRING>",
       "MANUFACTURER_STRING", "no Index"},
      {"line coding Index 7", "<LINE_CODING><Byte Index=\"7\">1</Byte></LINE_CODING>",
       "LINE_CODING", "Index \"7\" is outside 0-6"},
      {"8 line-coding bytes in one element",
       "<LINE_CODING>" + Bytes({"1", "1", "1", "1", "1", "1", "1"}) +
           "<Byte Index=\"0\">1</Byte></LINE_CODING>",
       "LINE_CODING", "more than 7"},
      {"line-coding bytes over two elements",
       "<LINE_CODING>" + Bytes({"0", "0", "0", "0"}) + "</LINE_CODING><LINE_CODING>" +
           Bytes({"1", "1", "1", "1"}) + "</LINE_CODING>",
       "LINE_CODING", "more than 7"},
      {"line-coding Byte without Index", "<LINE_CODING><Byte>1</Byte></LINE_CODING>", "LINE_CODING",
       "no Index"},
      {"149 pairs", Pairs(1, 149), "ADDRESS_VALUE", "more than 148"},
      {"pairs over two elements", Pairs(1, 100) + Pairs(200, 49), "ADDRESS_VALUE", "more than 148"},
      {"pair address 0x000", "<ADDRESS_VALUE><Value Address=\"0x000\">1</Value></ADDRESS_VALUE>",
       "ADDRESS_VALUE", "0x000"},
      {"pair address 0xFFF after masking",
       "<ADDRESS_VALUE><Value Address=\"0x1FFF\">1</Value></ADDRESS_VALUE>", "ADDRESS_VALUE",
       "0xFFF"},
      {"pair address of no number", "<ADDRESS_VALUE><Value Address=\"\">1</Value></ADDRESS_VALUE>",
       "ADDRESS_VALUE", "0x000"},
      {"Value without Address", "<ADDRESS_VALUE><Value>1</Value></ADDRESS_VALUE>", "ADDRESS_VALUE",
       "no Address"},
  };
  for (const RejectCase& c : cases) {
    SCOPED_TRACE(c.name);
    // Records hold a request from an earlier file; the rejected file keeps it.
    e.reset_run_state();
    ASSERT_EQ(Parse(ConfigDoc("<GPIO_MODE>0x5</GPIO_MODE><USB_MAXPOWER>0x32</USB_MAXPOWER>" +
                              NonZeroString("PRODUCT_STRING", 2) + Pairs(0x300, 2))),
              1);
    std::string before = Snapshot(e);
    rig.ui.Clear();
    // Fields before and after the bad one would be stored if it were accepted.
    EXPECT_EQ(Parse(ConfigDoc("<GPIO_SET>1</GPIO_SET><USB_VENDOR_ID>0x1234</USB_VENDOR_ID>" +
                              c.body + "<GPIO_DIRECTION>1</GPIO_DIRECTION>")),
              0);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    const test::MessageBoxCall& box = rig.ui.boxes[0];
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.style, MB_ICONERROR);
    EXPECT_EQ(box.text.rfind(c.element, 0), 0u) << box.text;
    EXPECT_NE(box.text.find(c.problem), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("line "), std::string::npos) << box.text;
    EXPECT_EQ(Snapshot(e), before);
    EXPECT_FALSE(rig.files.ExitRequested());
  }
}

TEST_F(ReaderTest, ZeroStringBytesPastFifteenCharactersAreHarmless) {
  ASSERT_EQ(Parse(ConfigDoc(
                NonZeroString("PRODUCT_STRING", 15).insert(16, "<Byte Index=\"15\">0</Byte>"))),
            1);
  EXPECT_EQ(e.m_recProductString.req, 16u);
  EXPECT_EQ(e.m_recProductString.xml[15], 0);
}

// --- Trace ------------------------------------------------------------------------

TEST_F(ReaderTest, TraceLinesArePrintedAboveLevelTwo) {
  std::string body =
      "<OTP_CONFIG3>3</OTP_CONFIG3><USB_VENDOR_ID>1</USB_VENDOR_ID>"
      "<GPIO_MODE>2</GPIO_MODE>"
      "<MANUFACTURER_STRING>" +
      Bytes({"0x41", "0"}) +
      "</MANUFACTURER_STRING>"
      "<LINE_CODING>" +
      Bytes({"0x80"}) +
      "</LINE_CODING>"
      "<ADDRESS_VALUE><Value Address=\"0x1C0D\">0x2FF</Value></ADDRESS_VALUE>";
  {
    test::TraceCapture quiet(2);
    ASSERT_EQ(Parse(ConfigDoc(body)), 1);
    EXPECT_EQ(quiet.Text(), "");
  }
  e.reset_run_state();
  test::TraceCapture loud(3);
  ASSERT_EQ(Parse(ConfigDoc(body)), 1);
  EXPECT_EQ(loud.Text(),
            "u8     OTP_CONFIG3 003\n"
            "u16    USB_VENDOR_ID 00c\n"
            "gen    GPIO_MODE 000\n"
            "string MANUFACTURER_STRING 012\n"
            "         0 65\n"
            "         skipping null character at 1\n"
            "line   LINE_CODING 005\n"
            "         0 128\n"
            "av     ADDRESS_VALUE\n"
            "         3085 767\n");
}

}  // namespace
}  // namespace qt70
