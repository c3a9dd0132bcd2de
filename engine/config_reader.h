// What the programming run needs from the configuration files: the path of
// the file the writer saved last, and the reader that fills the requested
// part of the engine's records from it.
#pragma once

namespace qt70 {

class IConfigReader {
 public:
  virtual ~IConfigReader() = default;

  // Parses the file into the engine's records and request flags. Returns 1
  // on success, 0 after a failure that it has reported to the operator.
  virtual int parseDoc(const char* docname) = 0;
  // The path of the configuration file to program (empty before a save).
  virtual const char* XmlFile() const = 0;
  // True once the reader met an unsupported file version: the application
  // must end with exit status 1.
  virtual bool ExitRequested() const = 0;
};

}  // namespace qt70
