// The configuration file reader of the programming run: parses the file
// with libxml2 into a tree and puts every value it gives into the requested
// part (`req`, `xml`, `count`) of the field records, with the three request
// flags.
//
// Numbers (element texts, `Index`, `Address`) are read as strtoul reads them
// with base 0, as a 64-bit unsigned long, and then cut to the field's width;
// the zero tests look at the number before the cut.
//
// The records are fixed arrays, so the reader bounds what it stores and
// rejects the whole file (nothing requested, so nothing programmed) when:
//   - a string `Byte` has an `Index` outside 0-15, or a string would get a
//     16th non-zero byte (its NUL would fall outside the 16 bytes);
//   - a `LINE_CODING` `Byte` has an `Index` outside 0-6, or the line coding
//     gets more than 7 bytes in all (over every LINE_CODING element);
//   - more than 148 `Value` pairs are given in all;
//   - a `Value` `Address` is 0x000 or 0xFFF after masking: the chip reads
//     such a pair as the end of its pair list, hiding every later pair;
//   - a `Byte` has no `Index` or a `Value` no `Address`.
// The document is read into a copy of the records, which replaces the
// engine's records only when the whole document was accepted.

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config_files.h"
#include "engine/otp_engine.h"
#include "engine/trace.h"
#include "file_util.h"

namespace qt70 {

namespace {

constexpr const char kParseFailed[] =
    "xml file not parsed successfully. Check the input .xml file name.";

const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }

bool IsElement(xmlNodePtr node, const char* name) {
  return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, X(name));
}

unsigned long ReadNumber(const xmlChar* text) {
  if (text == nullptr) return 0;
  return std::strtoul(reinterpret_cast<const char*>(text), nullptr, 0);
}

// The number that an element's text gives; an element without text gives 0.
unsigned long ElementNumber(xmlDocPtr doc, xmlNodePtr node) {
  xmlChar* text = xmlNodeListGetString(doc, node->children, 1);
  unsigned long value = ReadNumber(text);
  if (text) xmlFree(text);
  return value;
}

// An attribute's text, or false when the element does not carry it.
bool GetAttribute(xmlNodePtr node, const char* name, std::string* text) {
  xmlChar* value = xmlGetProp(node, X(name));
  if (value == nullptr) return false;
  text->assign(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return true;
}

// One record of any of the six types, so that the reader can work on a copy.
union RecordCopy {
  mlc_8 r8;
  mlc_16 r16;
  mlc_string str;
  mlc_line line;
  mlc_av av;
  mlc_gen gen;
};

size_t RecordSize(uint32_t type) {
  switch (type) {
    case TYPE_MLC8:
      return sizeof(mlc_8);
    case TYPE_MLC16:
      return sizeof(mlc_16);
    case TYPE_STRING:
      return sizeof(mlc_string);
    case TYPE_LINE:
      return sizeof(mlc_line);
    case TYPE_AV:
      return sizeof(mlc_av);
    case TYPE_GEN:
      return sizeof(mlc_gen);
    default:
      return 0;
  }
}

}  // namespace

CConfigFiles::CConfigFiles(COtpEngine& engine, IOperator& ui)
    : m_engine(engine),
      m_ui(ui),
      m_pTags(engine.m_tags),
      m_pXmlUsbValid(&engine.m_bXmlUsbValid),
      m_pXmlStringsValid(&engine.m_bXmlStringsValid),
      m_pXmlLineValid(&engine.m_bXmlLineValid) {}

int CConfigFiles::parseDoc(const char* docname) {
  std::string problem;
  int fd = cfg::OpenRegularFile(docname, &problem);
  xmlDocPtr doc = nullptr;
  if (fd >= 0) {
    doc = xmlReadFd(fd, docname, nullptr, cfg::ParseOptions());
    ::close(fd);
  }
  if (doc == nullptr) {
    m_ui.MessageBox(kParseFailed, "Error", MB_ICONERROR);
    return 0;
  }
  xmlNodePtr root = xmlDocGetRootElement(doc);
  if (root == nullptr) {
    m_ui.MessageBox("Empty .xml file", "Error", MB_ICONERROR);
    xmlFreeDoc(doc);
    return 0;
  }
  if (!xmlStrEqual(root->name, X("Data"))) {
    m_ui.MessageBox("xml Document is of a wrong type; root node != Data", "Error", MB_ICONERROR);
    xmlFreeDoc(doc);
    return 0;
  }

  // Work on a copy of the table whose records are copies of the engine's.
  mlc_tag tags[kTagCount];
  RecordCopy records[kTagCount];
  for (unsigned i = 0; i < kTagCount; ++i) {
    tags[i] = m_engine.m_tags[i];
    size_t size = RecordSize(tags[i].type);
    if (tags[i].record != nullptr && size != 0) {
      std::memcpy(&records[i], tags[i].record, size);
      tags[i].record = &records[i];
    } else {
      tags[i].record = nullptr;
    }
  }
  int usbValid = m_engine.m_bXmlUsbValid;
  int stringsValid = m_engine.m_bXmlStringsValid;
  int lineValid = m_engine.m_bXmlLineValid;
  m_pTags = tags;
  m_pXmlUsbValid = &usbValid;
  m_pXmlStringsValid = &stringsValid;
  m_pXmlLineValid = &lineValid;
  m_nLineBytes = 0;
  for (const mlc_tag& tag : tags)
    if (tag.type == TYPE_LINE && tag.record) m_nLineBytes = static_cast<mlc_line*>(tag.record)->req;
  m_strRejection.clear();
  bool exitBefore = m_bExitRequested;
  m_bExitRequested = false;

  for (xmlNodePtr cur = root->children; cur != nullptr; cur = cur->next) {
    if (IsElement(cur, "Config")) {
      parseConfig(doc, cur);
      if (m_bExitRequested || !m_strRejection.empty()) break;
    }
  }
  xmlFreeDoc(doc);

  bool accepted = !m_bExitRequested && m_strRejection.empty();
  if (accepted) {
    for (unsigned i = 0; i < kTagCount; ++i) {
      if (tags[i].record != nullptr)
        std::memcpy(m_engine.m_tags[i].record, tags[i].record, RecordSize(tags[i].type));
    }
    m_engine.m_bXmlUsbValid = usbValid;
    m_engine.m_bXmlStringsValid = stringsValid;
    m_engine.m_bXmlLineValid = lineValid;
  }
  m_pTags = m_engine.m_tags;
  m_pXmlUsbValid = &m_engine.m_bXmlUsbValid;
  m_pXmlStringsValid = &m_engine.m_bXmlStringsValid;
  m_pXmlLineValid = &m_engine.m_bXmlLineValid;
  bool exitNow = m_bExitRequested;
  m_bExitRequested = exitBefore || exitNow;

  if (!m_strRejection.empty()) {
    m_ui.MessageBox(m_strRejection, "Error", MB_ICONERROR);
    m_strRejection.clear();
    return 0;
  }
  return exitNow ? 0 : 1;
}

void CConfigFiles::parseConfig(xmlDocPtr doc, xmlNodePtr cur) {
  xmlChar* version = xmlGetProp(cur, X("Version"));
  if (version == nullptr || !xmlStrEqual(version, X("1.0"))) {
    std::string text = "Unsupported file format version: ";
    // Messages are 8-bit text like everything the operator sees.
    text += version ? cfg::Utf8ToLatin1(reinterpret_cast<const char*>(version)) : "(none)";
    text += ". Exiting application";
    if (version) xmlFree(version);
    m_ui.MessageBox(text, "Error", MB_ICONERROR);
    // The application ends with status 1 once this call returns upwards.
    m_bExitRequested = true;
    return;
  }
  xmlFree(version);
  for (xmlNodePtr item = cur->children; item != nullptr; item = item->next) {
    if (parseItem(doc, item) == -2) return;
  }
}

const mlc_tag* CConfigFiles::FindTag(const unsigned char* name) const {
  for (unsigned i = 0; i < kTagCount; ++i) {
    if (xmlStrEqual(name, X(m_pTags[i].name))) return &m_pTags[i];
  }
  return nullptr;
}

int CConfigFiles::parseItem(xmlDocPtr doc, xmlNodePtr cur) {
  // Text nodes (also the white space between elements) are named "text";
  // the test is on the name, so an element named text is passed over too.
  if (xmlStrEqual(cur->name, X("text"))) return 0;
  // Only elements are fields: a comment, a processing instruction or an
  // entity reference is not read even when it carries a field's name.
  const mlc_tag* found = cur->type == XML_ELEMENT_NODE ? FindTag(cur->name) : nullptr;
  mlc_tag* tag = const_cast<mlc_tag*>(found);
  if (tag == nullptr || tag->record == nullptr) {
    m_ui.MessageBox("Some unknown tags in the file. Please check", "Warning", MB_ICONEXCLAMATION);
    return -1;
  }
  switch (tag->type) {
    case TYPE_MLC8:
      return read_xml_8(doc, cur, tag);
    case TYPE_MLC16:
      return read_xml_16(doc, cur, tag);
    case TYPE_STRING:
      return read_xml_string(doc, cur, tag);
    case TYPE_LINE:
      return read_xml_line(doc, cur, tag);
    case TYPE_AV:
      return read_xml_av(doc, cur, tag);
    case TYPE_GEN:
      return read_xml_gen(doc, cur, tag);
    default:
      m_ui.MessageBox("Some unknown tags in the file. Please check", "Warning", MB_ICONEXCLAMATION);
      return -1;
  }
}

int CConfigFiles::Reject(const mlc_tag* tag, xmlNodePtr node, const std::string& problem) {
  if (m_strRejection.empty()) {
    m_strRejection = std::string(tag->name) + ", line " + std::to_string(xmlGetLineNo(node)) +
                     ": " + problem + ". The file is rejected; nothing is programmed.";
  }
  return -2;
}

int CConfigFiles::read_xml_8(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag) {
  QT70_TRACE(2, "u8     %s %03x\n", tag->name, tag->address);
  unsigned long value = ElementNumber(doc, node);
  if ((tag->address == 0x010 || tag->address == 0x011) && value != 0) *m_pXmlUsbValid = 1;
  auto* rec = static_cast<mlc_8*>(tag->record);
  rec->req += 1;
  rec->xml = static_cast<uint8_t>(value);
  return 0;
}

int CConfigFiles::read_xml_16(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag) {
  QT70_TRACE(2, "u16    %s %03x\n", tag->name, tag->address);
  unsigned long value = ElementNumber(doc, node);
  if ((tag->address == 0x00C || tag->address == 0x00E) && value != 0) *m_pXmlUsbValid = 1;
  auto* rec = static_cast<mlc_16*>(tag->record);
  rec->req += 1;
  rec->xml = static_cast<uint16_t>(value);
  return 0;
}

int CConfigFiles::read_xml_gen(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag) {
  QT70_TRACE(2, "gen    %s %03x\n", tag->name, tag->address);
  unsigned long value = ElementNumber(doc, node);
  auto* rec = static_cast<mlc_gen*>(tag->record);
  rec->req += 1;
  rec->xml = static_cast<uint8_t>(value);
  return 0;
}

int CConfigFiles::read_xml_string(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag) {
  QT70_TRACE(2, "string %s %03x\n", tag->name, tag->address);
  auto* rec = static_cast<mlc_string*>(tag->record);
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
    if (!IsElement(child, "Byte")) continue;
    std::string indexText;
    if (!GetAttribute(child, "Index", &indexText))
      return Reject(tag, child, "a Byte has no Index attribute");
    unsigned long index = ReadNumber(X(indexText.c_str()));
    unsigned long value = ElementNumber(doc, child);
    if (index > 15)
      return Reject(tag, child,
                    "Byte Index \"" + cfg::Utf8ToLatin1(indexText) + "\" is outside 0-15");
    if (value == 0) {
      QT70_TRACE(2, "         skipping null character at %d\n", static_cast<int>(index));
      continue;
    }
    QT70_TRACE(2, "         %d %d\n", static_cast<int>(index), static_cast<int>(value));
    // At most 15 characters: the NUL goes at xml[req] after the last one.
    if (rec->req >= 15)
      return Reject(tag, child,
                    "more than 15 non-zero Byte values: the string's terminating NUL would fall "
                    "outside its 16 bytes");
    *m_pXmlStringsValid = 1;
    rec->req += 1;
    rec->xml[index] = static_cast<char>(value & 0xFF);
  }
  // Only a repeated element can get here with req above 15.
  if (rec->req > 15)
    return Reject(tag, node,
                  "the string is given again after 15 characters: its terminating NUL would fall "
                  "outside its 16 bytes");
  rec->xml[rec->req] = 0;
  rec->req += 1;
  return 0;
}

int CConfigFiles::read_xml_line(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag) {
  QT70_TRACE(2, "line   %s %03x\n", tag->name, tag->address);
  auto* rec = static_cast<mlc_line*>(tag->record);
  bool nonZero = false;
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
    if (!IsElement(child, "Byte")) continue;
    std::string indexText;
    if (!GetAttribute(child, "Index", &indexText))
      return Reject(tag, child, "a Byte has no Index attribute");
    unsigned long index = ReadNumber(X(indexText.c_str()));
    unsigned long value = ElementNumber(doc, child);
    QT70_TRACE(2, "         %d %d\n", static_cast<int>(index), static_cast<int>(value));
    if (index > 6)
      return Reject(tag, child,
                    "Byte Index \"" + cfg::Utf8ToLatin1(indexText) + "\" is outside 0-6");
    // Within parseDoc every line-coding byte of the document counts; a
    // direct call is bounded by what the record holds.
    uint32_t given = m_pTags != m_engine.m_tags ? m_nLineBytes : rec->req;
    if (given >= 7 || rec->req >= 7)
      return Reject(tag, child, "more than 7 Byte values are given for the line coding in all");
    m_nLineBytes += 1;
    if (value != 0) nonZero = true;
    rec->req += 1;
    rec->xml[index] = static_cast<uint8_t>(value);
  }
  if (!nonZero)
    rec->req = 0;
  else
    *m_pXmlLineValid = 1;
  return 0;
}

int CConfigFiles::read_xml_av(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag) {
  QT70_TRACE(2, "av     %s\n", tag->name);
  auto* rec = static_cast<mlc_av*>(tag->record);
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
    if (!IsElement(child, "Value")) continue;
    std::string addressText;
    if (!GetAttribute(child, "Address", &addressText))
      return Reject(tag, child, "a Value has no Address attribute");
    unsigned address = ReadNumber(X(addressText.c_str())) & 0xFFF;
    unsigned value = ElementNumber(doc, child) & 0xFFF;
    QT70_TRACE(2, "         %d %d\n", static_cast<int>(address), static_cast<int>(value));
    if (address == 0x000 || address == 0xFFF) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%03X", address);
      return Reject(tag, child,
                    "Value Address \"" + cfg::Utf8ToLatin1(addressText) + "\" is " + hex +
                        " after masking to 12 bits; the chip would take such a pair for the end "
                        "of its pair list and ignore every later pair");
    }
    if (rec->count >= kMaxPairs)
      return Reject(tag, child, "more than 148 Value pairs are given in all");
    rec->address[rec->count] = static_cast<uint16_t>(address);
    rec->value[rec->count] = static_cast<uint16_t>(value);
    rec->count += 1;
  }
  return 0;
}

}  // namespace qt70
