// What the configuration file tests share: an engine with the configuration
// files wired to it, a scratch directory, and file helpers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/config_files.h"
#include "engine/otp_engine.h"
#include "support/fakes.h"
#include "support/recording_operator.h"

namespace qt70::test {

// The engine and the configuration files refer to each other; neither uses
// the other while it is being built.
struct ConfigRig {
  FakeRegs regs;
  RecordingOperator ui;
  COtpEngine engine{regs, ui, files};
  CConfigFiles files{engine, ui};

  ConfigRig() { engine.reset_run_state(); }
};

// A fresh directory under /tmp, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/qt70cfg.XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (made == nullptr) std::abort();
    path_ = made;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Names of the entries of a directory, sorted.
inline std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The root with one Config of version 1.0 around `body`.
inline std::string DataConfig(const std::string& body) {
  return "<Data>\n\t<Config Chip=\"QT70L5530IL16\" Version=\"1.0\">" + body +
         "</Config>\n</Data>\n";
}

// The same as a whole document with its declaration.
inline std::string ConfigDoc(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + DataConfig(body);
}

// `Byte` children with the given texts at Index 0, 1, ...
inline std::string Bytes(std::initializer_list<const char*> texts) {
  std::string out;
  int i = 0;
  for (const char* t : texts)
    out += "<Byte Index=\"" + std::to_string(i++) + "\">" + std::string(t) + "</Byte>";
  return out;
}

}  // namespace qt70::test
