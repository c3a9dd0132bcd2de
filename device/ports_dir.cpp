#include "ports_dir.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qt70 {

namespace {
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
}  // namespace

std::string PortsDir(const std::string& option) {
  if (!option.empty()) return option;
  if (std::string env = Env("QT70OTP_PORTS"); !env.empty()) return env;
  if (std::string runtime = Env("XDG_RUNTIME_DIR"); !runtime.empty()) return runtime + "/qt70otp/ports";
  return "/tmp/qt70otp-" + std::to_string(getuid()) + "/ports";
}

bool IsPlainPortName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string PortSocketPath(const std::string& dir, const std::string& name, std::string* error) {
  if (!IsPlainPortName(name)) {
    if (error) *error = "'" + name + "' is not a plain port name";
    return "";
  }
  std::string path = (dir.empty() || dir.back() != '/') ? dir + "/" + name : dir + name;
  if (path.size() >= sizeof(sockaddr_un{}.sun_path)) {
    if (error)
      *error = "socket path " + path + " is longer than a Unix socket address allows (" +
               std::to_string(sizeof(sockaddr_un{}.sun_path) - 1) + " bytes)";
    return "";
  }
  return path;
}

bool EnsurePortsDir(const std::string& dir, std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (dir.empty()) return fail("the ports folder is empty");
  // Create each missing component, parents first.
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      return fail("cannot create ports folder " + part + ": " + std::strerror(errno));
  }
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0)
    return fail("cannot use ports folder " + dir + ": " + std::strerror(errno));
  if (S_ISLNK(st.st_mode) && stat(dir.c_str(), &st) != 0)
    return fail("cannot use ports folder " + dir + ": " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return fail("ports folder " + dir + " is not a directory");
  if (st.st_uid != getuid()) return fail("ports folder " + dir + " belongs to another user");
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    return fail("ports folder " + dir + " is writable by other users");
  // Whoever may rename entries of the parent could swap the folder later.
  std::string parent = dir;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  const size_t slash = parent.rfind('/');
  parent = slash == std::string::npos ? "." : slash == 0 ? "/" : parent.substr(0, slash);
  struct stat up {};
  if (stat(parent.c_str(), &up) == 0) {
    const bool othersWrite = (up.st_mode & (S_IWGRP | S_IWOTH)) && !(up.st_mode & S_ISVTX);
    if ((up.st_uid != getuid() && up.st_uid != 0) || othersWrite)
      return fail("ports folder " + dir + " lies in " + parent +
                  ", which other users may change");
  }
  return true;
}

}  // namespace qt70
