// The configuration file writer: turns the dialog settings into a libxml2
// tree node by node (with explicit tab-and-newline text nodes for the
// layout) and lets libxml2 serialise it as UTF-8, unformatted.
//
// The loader reads files back by counting nodes, so the layout here is part
// of the format: field elements in a fixed order, strings and the line
// coding as `Byte` children with the values "0x%02x", an empty ADDRESS_VALUE.
//
// A save goes to a temporary file in the target's directory that is renamed
// over the target once it is complete, so a failed or interrupted save never
// leaves a partial file and never replaces the old one.

#include <fcntl.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config_files.h"
#include "file_util.h"

namespace qt70 {

namespace {

const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }

std::string Hex8(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
  return text;
}

// Builds the document; every libxml2 allocation is checked, and a failure
// leaves `ok` false (the caller frees whatever was built).
class TreeBuilder {
 public:
  explicit TreeBuilder(xmlDocPtr doc) : doc_(doc) {}

  bool ok() const { return ok_; }

  xmlNodePtr Text(xmlNodePtr parent, const std::string& utf8) {
    if (!ok_ || parent == nullptr) return nullptr;
    xmlNodePtr text = xmlNewDocText(doc_, X(utf8.c_str()));
    return Attach(parent, text);
  }

  // The indentation text, then a new element, both appended to `parent`.
  xmlNodePtr Element(xmlNodePtr parent, const char* name, const char* indent) {
    Text(parent, indent);
    if (!ok_) return nullptr;
    return Attach(parent, xmlNewDocNode(doc_, nullptr, X(name), nullptr));
  }

  void Attribute(xmlNodePtr element, const char* name, const std::string& value) {
    if (!ok_ || element == nullptr) return;
    if (xmlNewProp(element, X(name), X(value.c_str())) == nullptr) ok_ = false;
  }

  // An element whose content is a list of `Byte` children with the values
  // given, laid out one per line.
  void ByteList(xmlNodePtr parent, const char* name, const unsigned* bytes, int count) {
    xmlNodePtr list = Element(parent, name, "\n\t\t");
    for (int i = 0; i < count; ++i) {
      xmlNodePtr byte = Element(list, "Byte", "\n\t\t\t");
      Attribute(byte, "Index", std::to_string(i));
      Text(byte, Hex8(bytes[i]));
    }
    Text(list, "\n\t\t");
  }

 private:
  xmlNodePtr Attach(xmlNodePtr parent, xmlNodePtr child) {
    if (child == nullptr) {
      ok_ = false;
      return nullptr;
    }
    xmlNodePtr added = xmlAddChild(parent, child);
    if (added == nullptr) {
      xmlFreeNode(child);
      ok_ = false;
    }
    return added;
  }

  xmlDocPtr doc_;
  bool ok_ = true;
};

unsigned CoreClockCode(int coreClock) {
  switch (coreClock) {
    case 0:
      return 3;  // 6 MHz
    case 1:
      return 2;  // 12 MHz
    case 2:
      return 1;  // 24 MHz
    default:
      return 0;  // 48 MHz, also for no selection
  }
}

// XML 1.0 cannot carry the control characters other than tab, line feed and
// carriage return, nor NUL, in element text.
bool FindUnwritable(const std::string& text, unsigned* byte) {
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') {
      *byte = b;
      return true;
    }
  }
  return false;
}

struct PassThrough {
  const char* element;
  const std::string CSettings::*member;
};

// The 13 single-value elements in the order written; the composed bytes
// (no member) stand in their places.
constexpr PassThrough kSingleValues[] = {
    {"GPIO_MODE", &CSettings::m_strGpioMode},
    {"FLOW_CONTROL", &CSettings::m_strFlowControl},
    {"USB_MAXPOWER", &CSettings::m_strMaxPower},
    {"GPIO_DIRECTION", &CSettings::m_strGpioDirection},
    {"GPIO_INT_MASK", &CSettings::m_strGpioIntMask},
    {"PIN_PULLDOWN_EN", &CSettings::m_strPinPulldown},
    {"PIN_PULLUP_EN", &CSettings::m_strPinPullup},
    {"OTP_CONFIG0", nullptr},
    {"GPIO_SET", &CSettings::m_strGpioSet},
    {"OTP_CONFIG3", nullptr},
    {"USB_ATTRIBUTES", nullptr},
    {"USB_VENDOR_ID", &CSettings::m_strVendorId},
    {"USB_PRODUCT_ID", &CSettings::m_strDeviceId},
};

std::string ComposedByte(const CSettings& s, const char* element) {
  if (std::strcmp(element, "OTP_CONFIG0") == 0) return Hex8(s.m_bLowPowerActiveHigh ? 0x02 : 0x00);
  if (std::strcmp(element, "OTP_CONFIG3") == 0)
    return Hex8((s.m_bVbusSense ? 0x08 : 0x00) | CoreClockCode(s.m_nCoreClock));
  // USB_ATTRIBUTES: the bmAttributes layout, bit 7 always set.
  return Hex8(0x80 | (s.m_bSelfPowered ? 0x40 : 0x00) | (s.m_bRemoteWakeup ? 0x20 : 0x00));
}

xmlDocPtr BuildDocument(const CSettings& s) {
  xmlDocPtr doc = xmlNewDoc(X("1.0"));
  if (doc == nullptr) return nullptr;
  TreeBuilder b(doc);
  xmlNodePtr data = xmlNewDocNode(doc, nullptr, X("Data"), nullptr);
  if (data == nullptr) {
    xmlFreeDoc(doc);
    return nullptr;
  }
  xmlDocSetRootElement(doc, data);

  xmlNodePtr config = b.Element(data, "Config", "\n\t");
  b.Attribute(config, "Chip", "QT70L5530IL16");
  b.Attribute(config, "Version", "1.0");

  for (const PassThrough& field : kSingleValues) {
    xmlNodePtr element = b.Element(config, field.element, "\n\t\t");
    // Every one of these elements gets a text child, also an empty one.
    b.Text(element,
           field.member ? cfg::Latin1ToUtf8(s.*field.member) : ComposedByte(s, field.element));
  }

  const struct {
    const char* element;
    const std::string& text;
  } strings[] = {
      {"MANUFACTURER_STRING", s.m_strManufacturer},
      {"PRODUCT_STRING", s.m_strProduct},
      {"SERIAL_NUMBER_STRING", s.m_strSerialNumber},
  };
  for (const auto& str : strings) {
    if (str.text.empty()) continue;
    unsigned bytes[16] = {};
    // At most 15 characters; byte 15 is always the NUL.
    for (size_t i = 0; i < 15 && i < str.text.size(); ++i)
      bytes[i] = static_cast<unsigned char>(str.text[i]);
    b.ByteList(config, str.element, bytes, 16);
  }

  const unsigned line[7] = {
      s.m_nBaudRate & 0xFFu,
      (s.m_nBaudRate >> 8) & 0xFFu,
      (s.m_nBaudRate >> 16) & 0xFFu,
      (s.m_nBaudRate >> 24) & 0xFFu,
      s.m_nCharFormat == 1 ? 2u : 0u,
      static_cast<unsigned>(s.m_nParity) & 0xFFu,
      static_cast<unsigned>(s.m_nDataBits + 7) & 0xFFu,
  };
  b.ByteList(config, "LINE_CODING", line, 7);

  b.Element(config, "ADDRESS_VALUE", "\n\t\t");
  b.Text(config, "\n\t");
  b.Text(data, "\n");
  if (!b.ok()) {
    xmlFreeDoc(doc);
    return nullptr;
  }
  return doc;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// libxml2's own descriptor output takes a short write for a complete one
// and drops the rest (a full disk, a file-size limit), so the output goes
// through this callback, which writes everything or reports -1.
int WriteAll(void* context, const char* buffer, int len) {
  int fd = *static_cast<int*>(context);
  int done = 0;
  while (done < len) {
    ssize_t n = ::write(fd, buffer + done, static_cast<size_t>(len - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return -1;
    }
    done += static_cast<int>(n);
  }
  return len;
}

// Writes the document to `fd`, unformatted, in UTF-8; true when every byte
// reached the file.
bool SaveToFd(xmlDocPtr doc, int fd) {
  int context = fd;
  xmlOutputBufferPtr out = xmlOutputBufferCreateIO(WriteAll, nullptr, &context, nullptr);
  if (out == nullptr) return false;
  // Closes `out` (not the descriptor) and reports a failed write as -1.
  return xmlSaveFormatFileTo(out, doc, "UTF-8", 0) >= 0;
}

}  // namespace

bool CConfigFiles::WriteConfigFile(const CSettings& settings, const std::string& path,
                                   std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "cannot write the configuration file " + path + ": " + why;
    return false;
  };
  if (path.empty()) return fail("no file name given");
  for (const PassThrough& field : kSingleValues) {
    unsigned byte = 0;
    if (field.member && FindUnwritable(settings.*field.member, &byte)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02x", byte);
      return fail(std::string("the text of ") + field.element + " holds the control character " +
                  hex + ", which an XML file cannot carry");
    }
  }

  xmlDocPtr doc = BuildDocument(settings);
  if (doc == nullptr) return fail("out of memory while building the document");

  std::string temp = DirectoryOf(path) + "/." + BaseOf(path) + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    int err = errno;
    xmlFreeDoc(doc);
    return fail(std::string("cannot create a file in ") + DirectoryOf(path) + ": " +
                std::strerror(err));
  }
  // mkstemp makes the file private; give it the mode a new file gets.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);

  errno = 0;
  bool written = SaveToFd(doc, fd);
  int err = errno;
  xmlFreeDoc(doc);
  if (written && ::fsync(fd) != 0) {
    written = false;
    err = errno;
  }
  if (::close(fd) != 0 && written) {
    written = false;
    err = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    return fail(err ? std::strerror(err) : "the file could not be written");
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    err = errno;
    ::unlink(temp.c_str());
    return fail(std::strerror(err));
  }
  if (error) error->clear();
  return true;
}

bool CConfigFiles::dynamDOM(const CSettings& settings) {
  if (!WriteConfigFile(settings, kXmlFileName, &m_strLastWriteError)) return false;
  m_strXmlFile = kXmlFileName;
  return true;
}

}  // namespace qt70
