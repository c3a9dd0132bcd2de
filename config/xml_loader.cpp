// The loader: fills the dialog settings from a configuration file with
// libxml2's forward-only text reader.
//
// It does not look at the tree's shape. It walks the node stream (white
// space not reported), recognises field elements by name wherever they
// stand, and then steps a fixed number of nodes forward to reach their
// texts, so it relies on the layout the writer produces. Every number is
// read as hexadecimal (strtoul base 16). On a file of another shape it takes
// the texts of whatever nodes it counts to, as intended, but never reads
// outside a buffer.
//
// The settings are loaded into a copy, which replaces the caller's settings
// only when the whole file was read; a file that cannot be opened or is not
// well-formed leaves them exactly as they were.

#include <libxml/xmlreader.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config_files.h"
#include "file_util.h"

namespace qt70 {

namespace {

bool IsWhitespace(int type) {
  return type == XML_READER_TYPE_WHITESPACE || type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
}

bool IsContent(int type) {
  return type == XML_READER_TYPE_ELEMENT || type == XML_READER_TYPE_TEXT ||
         type == XML_READER_TYPE_CDATA || type == XML_READER_TYPE_ENTITY_REFERENCE ||
         type == XML_READER_TYPE_END_ELEMENT;
}

// Read with white space not reported: 1 on a node, 0 at the end, -1 on error.
int ReadSkippingWhitespace(xmlTextReaderPtr reader) {
  // After an error libxml2's reader would start over from the first node on
  // the next read, and a walk that counts nodes would go round for ever.
  if (xmlTextReaderReadState(reader) == XML_TEXTREADER_MODE_ERROR) return -1;
  for (;;) {
    int rc = xmlTextReaderRead(reader);
    if (rc != 1) return rc < 0 ? -1 : 0;
    if (!IsWhitespace(xmlTextReaderNodeType(reader))) return 1;
  }
}

// Stays on a content node, or moves forward to the next one: 1 on a
// content node, 0 at the end, -1 on error.
int MoveToContent(xmlTextReaderPtr reader) {
  for (;;) {
    if (IsContent(xmlTextReaderNodeType(reader))) return 1;
    int rc = ReadSkippingWhitespace(reader);
    if (rc != 1) return rc;
  }
}

// The current node's name: element start and end nodes (and entity
// references, processing instructions) carry one; text, CDATA and comments
// an empty name.
std::string NodeName(xmlTextReaderPtr reader) {
  switch (xmlTextReaderNodeType(reader)) {
    case XML_READER_TYPE_ELEMENT:
    case XML_READER_TYPE_END_ELEMENT:
    case XML_READER_TYPE_ENTITY_REFERENCE:
    case XML_READER_TYPE_PROCESSING_INSTRUCTION:
    case XML_READER_TYPE_DOCUMENT_TYPE: {
      const xmlChar* name = xmlTextReaderConstName(reader);
      return name ? reinterpret_cast<const char*>(name) : "";
    }
    default:
      return "";
  }
}

// The current node's text (UTF-8); empty for element nodes.
std::string NodeValue(xmlTextReaderPtr reader) {
  switch (xmlTextReaderNodeType(reader)) {
    case XML_READER_TYPE_TEXT:
    case XML_READER_TYPE_CDATA:
    case XML_READER_TYPE_WHITESPACE:
    case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
    case XML_READER_TYPE_COMMENT:
    case XML_READER_TYPE_PROCESSING_INSTRUCTION: {
      const xmlChar* value = xmlTextReaderConstValue(reader);
      return value ? reinterpret_cast<const char*>(value) : "";
    }
    default:
      return "";
  }
}

unsigned long Hex(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 16); }

// The first error the parser reports while the file is read.
struct ErrorLog {
  bool failed = false;
  std::string message;
  int line = 0;
};

void OnParseError(void* user, xmlErrorPtr error) {
  auto* log = static_cast<ErrorLog*>(user);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  // The first fatal error (the one that makes the file not well-formed) is
  // the one to tell; until there is one, the first error.
  bool fatal = error->level == XML_ERR_FATAL;
  if (fatal ? log->failed : !log->message.empty()) return;
  if (fatal) log->failed = true;
  log->message = cfg::Utf8ToLatin1(error->message ? error->message : "");
  while (!log->message.empty() && (log->message.back() == '\n' || log->message.back() == ' '))
    log->message.pop_back();
  log->line = error->line;
}

class Walker {
 public:
  Walker(xmlTextReaderPtr reader, CSettings& s) : r_(reader), s_(s) {}

  void Run() {
    if (MoveToContent(r_) != 1) return;
    do {
      Element(NodeName(r_));
    } while (ReadNextNode(r_, 1) == 1);
  }

 private:
  void Advance(int times = 1) {
    for (int i = 0; i < times; ++i) ReadNextNode(r_, 1);
  }

  // Text unchanged: the file's UTF-8 back to 8-bit text.
  void TextSetting(std::string& member) {
    Advance();
    member = cfg::Utf8ToLatin1(NodeValue(r_));
    Advance();
  }

  unsigned ComposedByte() {
    Advance();
    unsigned value = static_cast<unsigned>(Hex(NodeValue(r_)) & 0xFF);
    Advance();
    return value;
  }

  void StringSetting(std::string& member) {
    member.clear();
    std::string bytes;
    for (int i = 0; i < 16; ++i) {
      Advance(2);
      bytes.push_back(static_cast<char>(Hex(NodeValue(r_)) & 0xFF));
      Advance();
    }
    Advance();
    // The text ends at the first zero byte: the writer pads with zeros, and
    // bytes after a zero would not be part of the chip's string either.
    member = bytes.substr(0, bytes.find('\0'));
  }

  void LineCoding() {
    s_.m_nBaudRate = 0;
    std::string joined;
    for (int i = 0; i < 4; ++i) {
      Advance(2);
      std::string t = NodeValue(r_);
      if (i == 0) {
        joined = t;
      } else {
        // The last two characters of this byte's text go after the first
        // two of the joined text: "0x" and the digits from the most
        // significant byte down.
        std::string tail = t.size() >= 2 ? t.substr(t.size() - 2) : t;
        joined.insert(std::min<size_t>(2, joined.size()), tail);
      }
      Advance();
    }
    s_.m_nBaudRate = static_cast<uint32_t>(Hex(joined));
    Advance(2);
    unsigned charFormat = static_cast<unsigned>(Hex(NodeValue(r_)) & 0xFF);
    s_.m_nCharFormat = charFormat == 0 ? 0 : charFormat == 2 ? 1 : -1;
    Advance(3);
    s_.m_nParity = static_cast<int>(Hex(NodeValue(r_)) & 0xFF);
    Advance(3);
    s_.m_nDataBits = static_cast<int>((Hex(NodeValue(r_)) & 0xFF) % 7);
    Advance(2);
  }

  void Element(const std::string& name) {
    if (name == "GPIO_MODE") {
      TextSetting(s_.m_strGpioMode);
    } else if (name == "FLOW_CONTROL") {
      TextSetting(s_.m_strFlowControl);
    } else if (name == "USB_MAXPOWER") {
      TextSetting(s_.m_strMaxPower);
    } else if (name == "GPIO_DIRECTION") {
      TextSetting(s_.m_strGpioDirection);
    } else if (name == "GPIO_INT_MASK") {
      TextSetting(s_.m_strGpioIntMask);
    } else if (name == "PIN_PULLDOWN_EN") {
      TextSetting(s_.m_strPinPulldown);
    } else if (name == "PIN_PULLUP_EN") {
      TextSetting(s_.m_strPinPullup);
    } else if (name == "GPIO_SET") {
      TextSetting(s_.m_strGpioSet);
    } else if (name == "USB_VENDOR_ID") {
      TextSetting(s_.m_strVendorId);
    } else if (name == "USB_PRODUCT_ID") {
      TextSetting(s_.m_strDeviceId);
    } else if (name == "OTP_CONFIG0") {
      s_.m_bLowPowerActiveHigh = (ComposedByte() & 0x02) ? 1 : 0;
    } else if (name == "OTP_CONFIG3") {
      unsigned b = ComposedByte();
      s_.m_bVbusSense = (b & 0x08) ? 1 : 0;
      static constexpr int kCoreClock[4] = {3, 2, 1, 0};  // code 0 is 48 MHz
      s_.m_nCoreClock = kCoreClock[b & 0x03];
    } else if (name == "USB_ATTRIBUTES") {
      unsigned b = ComposedByte();
      s_.m_bSelfPowered = (b & 0x40) ? 1 : 0;
      s_.m_bRemoteWakeup = (b & 0x20) ? 1 : 0;
    } else if (name == "MANUFACTURER_STRING") {
      StringSetting(s_.m_strManufacturer);
    } else if (name == "PRODUCT_STRING") {
      StringSetting(s_.m_strProduct);
    } else if (name == "SERIAL_NUMBER_STRING") {
      StringSetting(s_.m_strSerialNumber);
    } else if (name == "LINE_CODING") {
      LineCoding();
    }
  }

  xmlTextReaderPtr r_;
  CSettings& s_;
};

}  // namespace

int ReadNextNode(xmlTextReaderPtr xmlreader, int bMoveToContent) {
  int rc = ReadSkippingWhitespace(xmlreader);
  if (rc == 1 && bMoveToContent) return MoveToContent(xmlreader);
  return rc;
}

bool CConfigFiles::LoadXmlFile(const std::string& path, CSettings& settings) {
  if (path.empty()) {
    m_ui.MessageBox("You must first specify an XML file to read", "", MB_OK);
    return false;
  }
  auto fail = [&](const std::string& problem) {
    m_ui.MessageBox(
        "Cannot load the configuration file " + path + ": " + problem + ". No setting was changed.",
        "Error", MB_ICONERROR);
    return false;
  };

  std::string problem;
  int fd = cfg::OpenRegularFile(path.c_str(), &problem);
  if (fd < 0) return fail(problem);
  // libxml2's reader has no clear word for an empty file.
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size == 0) {
    ::close(fd);
    return fail("the file is empty");
  }
  xmlTextReaderPtr reader = xmlReaderForFd(fd, path.c_str(), nullptr, cfg::ParseOptions());
  if (reader == nullptr) {
    ::close(fd);
    return fail("the XML reader could not be created");
  }
  ErrorLog log;
  xmlTextReaderSetStructuredErrorHandler(reader, OnParseError, &log);

  CSettings work = settings;
  work.m_strManufacturer.clear();
  work.m_strProduct.clear();
  work.m_strSerialNumber.clear();
  Walker(reader, work).Run();

  // The walk ends at the end of the file or at the first error; one more
  // read tells which.
  bool failed = log.failed || ReadSkippingWhitespace(reader) < 0;
  xmlFreeTextReader(reader);
  ::close(fd);
  if (failed) {
    std::string what = log.message.empty() ? "it is not well-formed XML" : log.message;
    if (log.line > 0) what = "line " + std::to_string(log.line) + ": " + what;
    return fail(what);
  }

  work.m_bUseDefaultManufacturer = work.m_strManufacturer.empty() ? 1 : 0;
  work.m_bUseDefaultProduct = work.m_strProduct.empty() ? 1 : 0;
  work.m_bUseDefaultSerial = work.m_strSerialNumber.empty() ? 1 : 0;
  settings = std::move(work);
  return true;
}

}  // namespace qt70
