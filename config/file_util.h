// Small helpers shared by the reader, the writer and the loader: opening a
// configuration file safely, and moving 8-bit text in and out of UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace qt70::cfg {

// Options for every parse of a configuration file: no network access, no
// external DTD, no entity substitution by the parser.
int ParseOptions();

// Opens `path` for reading as a regular file (never blocks on a FIFO or a
// device). Returns the descriptor, or -1 with `problem` set.
int OpenRegularFile(const char* path, std::string* problem);

// ISO-8859-1 bytes to UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);
// UTF-8 to ISO-8859-1; a character above U+00FF, or a malformed sequence,
// becomes '?'.
std::string Utf8ToLatin1(std::string_view utf8);

}  // namespace qt70::cfg
