// The configuration files: the reader that fills the engine's requested
// records from a file (programming run), the writer that saves the dialog
// settings as a file, and the loader that fills the dialog settings from one.
//
// File format: root `Data`, one `Config` with `Version` "1.0" (and `Chip`),
// one element per OTP field named as in the field table. Text settings are
// 8-bit text (ISO-8859-1, one byte per character); files are UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "config/settings.h"
#include "engine/config_reader.h"
#include "engine/operator.h"
#include "engine/otp_types.h"

// libxml2's document, node and text reader, declared as libxml2 declares
// them, so that users of this header need not include libxml2.
typedef struct _xmlDoc xmlDoc;
typedef xmlDoc* xmlDocPtr;
typedef struct _xmlNode xmlNode;
typedef xmlNode* xmlNodePtr;
typedef struct _xmlTextReader xmlTextReader;
typedef xmlTextReader* xmlTextReaderPtr;

namespace qt70 {

class COtpEngine;

// The file the writer saves before every programming run, in the current
// directory.
inline constexpr const char kXmlFileName[] = "QT70L5530_OTP.xml";

class CConfigFiles : public IConfigReader {
 public:
  CConfigFiles(COtpEngine& engine, IOperator& ui);
  CConfigFiles(const CConfigFiles&) = delete;
  CConfigFiles& operator=(const CConfigFiles&) = delete;

  // --- Reader ---------------------------------------------------------------
  // Parses `docname` into the requested part of the engine's records and the
  // three request flags. Returns 1 when every `Config` was read; 0 after a
  // failure it has reported in a message box. A file that is rejected (see
  // the bounds in config_files.cpp) or has an unsupported version leaves the
  // records and flags exactly as they were.
  int parseDoc(const char* docname) override;
  // Reads one `Config` element. An unsupported version is reported and then
  // sets ExitRequested(); nothing more is read.
  void parseConfig(xmlDocPtr doc, xmlNodePtr cur);
  // 0 for a text node or a field that was read, -1 for an unknown name, -2
  // for a field that was rejected (the rejection ends the document).
  int parseItem(xmlDocPtr doc, xmlNodePtr cur);
  // Each reads one field element into the record of `tag`; 0, or -2 when the
  // element breaks one of the bounds of the records.
  int read_xml_8(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag);
  int read_xml_16(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag);
  int read_xml_gen(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag);
  int read_xml_string(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag);
  int read_xml_line(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag);
  int read_xml_av(xmlDocPtr doc, xmlNodePtr node, mlc_tag* tag);

  const char* XmlFile() const override { return m_strXmlFile.c_str(); }
  bool ExitRequested() const override { return m_bExitRequested; }

  // --- Writer ---------------------------------------------------------------
  // Saves the settings as kXmlFileName in the current directory. True when
  // the file was written; only then m_strXmlFile = kXmlFileName. Shows
  // nothing; LastWriteError() tells why a save failed.
  bool dynamDOM(const CSettings& settings);
  // The same document saved to `path` through a temporary file in the same
  // directory that is renamed over it, so a failed save leaves any old file
  // as it was. True when written; otherwise `error` (if given) says why.
  static bool WriteConfigFile(const CSettings& settings, const std::string& path,
                              std::string* error);
  // Why the last dynamDOM failed; empty after a successful save.
  const std::string& LastWriteError() const { return m_strLastWriteError; }

  // --- Loader ---------------------------------------------------------------
  // Fills `settings` from the file (a file laid out as the writer lays it
  // out) and sets the three Use Kelm Defaults flags from the strings. On a
  // file that cannot be opened or is not well-formed XML it shows a box with
  // the caption "Error" naming the file and the problem and leaves
  // `settings` exactly as it was. True when loaded.
  bool LoadXmlFile(const std::string& path, CSettings& settings);

  std::string m_strXmlFile;

 private:
  int Reject(const mlc_tag* tag, xmlNodePtr node, const std::string& problem);
  const mlc_tag* FindTag(const unsigned char* name) const;

  COtpEngine& m_engine;
  IOperator& m_ui;
  bool m_bExitRequested = false;
  std::string m_strLastWriteError;

  // Where the reader stores. Outside parseDoc these are the engine's table
  // and flags; during parseDoc a working copy that is kept only when the
  // whole document was read.
  mlc_tag* m_pTags;
  int* m_pXmlUsbValid;
  int* m_pXmlStringsValid;
  int* m_pXmlLineValid;
  // Line-coding bytes given so far in the document being read (with what
  // the record held before), bounded by the 7 bytes of the record.
  uint32_t m_nLineBytes = 0;
  // Why the document being read was rejected; empty while it is accepted.
  std::string m_strRejection;
};

// Moves the text reader to its next node, skipping white-space-only text;
// with bMoveToContent, then on to the next content node (element start or
// end, text, CDATA, entity reference). 1 when it stands on a node, 0 at the
// end of the file, -1 after a parse error.
int ReadNextNode(xmlTextReaderPtr xmlreader, int bMoveToContent);

}  // namespace qt70
