#include "file_util.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qt70::cfg {

int ParseOptions() {
  // XML_PARSE_NOENT and XML_PARSE_DTDLOAD stay off: entities are not
  // substituted by the parser and no external DTD is loaded.
  return XML_PARSE_NONET;
}

int OpenRegularFile(const char* path, std::string* problem) {
  if (path == nullptr || *path == '\0') {
    *problem = "no file name given";
    return -1;
  }
  // O_NONBLOCK so that opening a FIFO does not wait for a writer.
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    *problem = std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    *problem = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    *problem = S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file";
    ::close(fd);
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

std::string Latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size() * 2);
  for (char c : latin1) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

std::string Utf8ToLatin1(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    // Length of the sequence from its lead byte; 0 for a stray byte.
    size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = len != 0 && i + len <= utf8.size();
    for (size_t k = 1; ok && k < len; ++k)
      ok = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
    if (!ok) {
      out.push_back('?');
      ++i;
      continue;
    }
    if (len == 2 && b <= 0xC3) {
      unsigned cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      out.push_back(cp >= 0x80 ? static_cast<char>(cp) : '?');
    } else {
      out.push_back('?');
    }
    i += len;
  }
  return out;
}

}  // namespace qt70::cfg
