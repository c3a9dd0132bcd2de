#include "ports.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>

#include "device/ports_dir.h"

#if QT70_HAVE_UDEV
#include <libudev.h>
#endif

namespace qt70 {

namespace {

unsigned char Fold(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

std::string ErrText(int err) { return std::strerror(err); }

[[noreturn]] void CannotStart(const std::string& what, int err) {
  throw PortEnumError("Cannot start the port enumeration (" + what + "). (err=" + ErrText(err) +
                      ")");
}
[[noreturn]] void CannotGoOn(const std::string& what, int err) {
  throw PortEnumError("Cannot go on with the port enumeration (" + what + "). (err=" +
                      ErrText(err) + ")");
}
[[noreturn]] void CannotRead(const std::string& what, int err) {
  throw PortEnumError("Cannot read the port entry " + what + ". (err=" + ErrText(err) + ")");
}

}  // namespace

bool PortNameLess(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // names that differ only in case keep a fixed order
}

void InsertPortName(std::vector<std::string>& list, const std::string& name) {
  auto at = std::lower_bound(list.begin(), list.end(), name, PortNameLess);
  if (at != list.end() && *at == name) return;
  list.insert(at, name);
}

void ListRealPorts(std::vector<std::string>& list) {
#if QT70_HAVE_UDEV
  struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
  };
  errno = 0;
  std::unique_ptr<udev, UdevDeleter> ctx(udev_new());
  if (!ctx) CannotStart("udev", errno ? errno : ENOMEM);
  std::unique_ptr<udev_enumerate, UdevDeleter> en(udev_enumerate_new(ctx.get()));
  if (!en) CannotStart("udev tty devices", errno ? errno : ENOMEM);
  if (int rc = udev_enumerate_add_match_subsystem(en.get(), "tty"); rc < 0)
    CannotStart("udev tty devices", -rc);
  if (int rc = udev_enumerate_scan_devices(en.get()); rc < 0)
    CannotStart("udev tty devices", -rc);
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en.get())) {
    const char* syspath = udev_list_entry_get_name(entry);
    if (!syspath) continue;
    errno = 0;
    std::unique_ptr<udev_device, UdevDeleter> dev(
        udev_device_new_from_syspath(ctx.get(), syspath));
    if (!dev) {
      int err = errno ? errno : ENODEV;
      // A device that went away since the scan is simply not present.
      if (err == ENOENT || err == ENODEV) continue;
      CannotRead(syspath, err);
    }
    // Serial ports sit on a device (a USB interface, a platform UART); the
    // virtual consoles and pseudo-terminals do not.
    if (!udev_device_get_parent(dev.get())) continue;
    const char* name = udev_device_get_sysname(dev.get());
    if (name && IsPlainPortName(name)) InsertPortName(list, name);
  }
#else
  (void)list;
#endif
}

void ListEmulatedPorts(const std::string& portsDir, std::vector<std::string>& list) {
  if (portsDir.empty()) return;
  DIR* dir = opendir(portsDir.c_str());
  if (!dir) {
    if (errno == ENOENT) return;  // no emulated chip has been served yet
    CannotStart("ports folder " + portsDir, errno);
  }
  std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, closedir);
  for (;;) {
    errno = 0;
    dirent* de = readdir(dir);
    if (!de) {
      if (errno) CannotGoOn("ports folder " + portsDir, errno);
      break;
    }
    std::string name = de->d_name;
    if (!IsPlainPortName(name)) continue;
    bool socket = de->d_type == DT_SOCK;
    if (de->d_type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;  // removed while we looked
        CannotRead(portsDir + "/" + name, errno);
      }
      socket = S_ISSOCK(st.st_mode);
    }
    if (socket) InsertPortName(list, name);
  }
}

void ListPorts(const std::string& portsDir, std::vector<std::string>& list) {
  list.clear();
  std::exception_ptr first;
  try {
    ListRealPorts(list);
  } catch (const PortEnumError&) {
    first = std::current_exception();
  }
  try {
    ListEmulatedPorts(portsDir, list);
  } catch (const PortEnumError&) {
    if (!first) first = std::current_exception();
  }
  if (first) std::rethrow_exception(first);
}

}  // namespace qt70
