#include "hotplug.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/ports.h"
#include "device/ports_dir.h"

#if QT70_HAVE_UDEV
#include <libudev.h>
#endif

namespace qt70 {

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsSocketIn(const std::string& dir, const std::string& name) {
  struct stat st;
  return lstat((dir + "/" + name).c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

CPortMonitor::~CPortMonitor() { Stop(); }

bool CPortMonitor::Start(const std::string& portsDir, Callback callback, std::string* error) {
  Stop();
  m_dir = portsDir;
  m_callback = std::move(callback);
  m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_inotify < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  if (!Watch(error)) {
    Stop();
    return false;
  }

#if QT70_HAVE_UDEV
  // The tty monitor needs the system's device manager; where there is none
  // (a container, say) the real ports are simply not followed.
  if (udev* u = udev_new()) {
    udev_monitor* mon = udev_monitor_new_from_netlink(u, "udev");
    if (mon && udev_monitor_filter_add_match_subsystem_devtype(mon, "tty", nullptr) >= 0 &&
        udev_monitor_enable_receiving(mon) >= 0) {
      int fd = udev_monitor_get_fd(mon);
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      m_udev = u;
      m_udevMonitor = mon;
      std::vector<std::string> real;
      try {
        ListRealPorts(real);
      } catch (const PortEnumError&) {
      }
      m_real.insert(real.begin(), real.end());
    } else {
      if (mon) udev_monitor_unref(mon);
      udev_unref(u);
    }
  }
#endif
  return true;
}

bool CPortMonitor::Watch(std::string* error) {
  std::string why;
  if (!EnsurePortsDir(m_dir, &why)) {
    if (error) *error = why;
    return false;
  }
  m_watch = inotify_add_watch(m_inotify, m_dir.c_str(), kWatchMask);
  if (m_watch < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  // The sockets already there, so that their removal is known as a port's.
  m_emulated.clear();
  std::vector<std::string> present;
  try {
    ListEmulatedPorts(m_dir, present);
  } catch (const PortEnumError&) {
  }
  m_emulated.insert(present.begin(), present.end());
  return true;
}

void CPortMonitor::Stop() {
  if (m_inotify >= 0) close(m_inotify);
  m_inotify = -1;
  m_watch = -1;
  m_emulated.clear();
  m_real.clear();
#if QT70_HAVE_UDEV
  if (m_udevMonitor) udev_monitor_unref(static_cast<udev_monitor*>(m_udevMonitor));
  if (m_udev) udev_unref(static_cast<udev*>(m_udev));
#endif
  m_udevMonitor = nullptr;
  m_udev = nullptr;
}

std::vector<int> CPortMonitor::Fds() const {
  std::vector<int> fds;
  if (m_inotify >= 0) fds.push_back(m_inotify);
#if QT70_HAVE_UDEV
  if (m_udevMonitor) fds.push_back(udev_monitor_get_fd(static_cast<udev_monitor*>(m_udevMonitor)));
#endif
  return fds;
}

void CPortMonitor::Report(unsigned event, const std::string& name) {
  if (m_callback) m_callback(event, DBT_DEVTYP_PORT, name);
}

void CPortMonitor::DispatchInotify(int& reported) {
  if (m_inotify < 0) return;
  alignas(inotify_event) char buffer[4096];
  bool lostWatch = false;
  for (;;) {
    ssize_t n = read(m_inotify, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      if (ev->wd != m_watch) continue;
      if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
        lostWatch = true;
        continue;
      }
      std::string name = ev->len ? std::string(ev->name) : std::string();
      if (!IsPlainPortName(name)) continue;
      if (ev->mask & (IN_CREATE | IN_MOVED_TO)) {
        if (!m_emulated.count(name) && IsSocketIn(m_dir, name)) {
          m_emulated.insert(name);
          Report(DBT_DEVICEARRIVAL, name);
          ++reported;
        }
      } else if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) {
        if (m_emulated.erase(name)) {
          Report(DBT_DEVICEREMOVECOMPLETE, name);
          ++reported;
        }
      }
    }
  }
  if (lostWatch && m_inotify >= 0) {
    // The folder itself went away or was moved: its ports are gone. Watch
    // the folder anew (created again) so that later servers are seen.
    if (m_watch >= 0) inotify_rm_watch(m_inotify, m_watch);
    m_watch = -1;
    std::set<std::string> gone;
    gone.swap(m_emulated);
    for (const std::string& name : gone) {
      Report(DBT_DEVICEREMOVECOMPLETE, name);
      ++reported;
    }
    if (Watch(nullptr)) {
      for (const std::string& name : m_emulated) {
        Report(DBT_DEVICEARRIVAL, name);
        ++reported;
      }
    }
  }
}

void CPortMonitor::DispatchUdev(int& reported) {
#if QT70_HAVE_UDEV
  auto* mon = static_cast<udev_monitor*>(m_udevMonitor);
  if (!mon) return;
  while (udev_device* dev = udev_monitor_receive_device(mon)) {
    const char* action = udev_device_get_action(dev);
    const char* sysname = udev_device_get_sysname(dev);
    std::string name = sysname ? sysname : "";
    if (action && IsPlainPortName(name)) {
      if (std::strcmp(action, "add") == 0 && udev_device_get_parent(dev) &&
          m_real.insert(name).second) {
        Report(DBT_DEVICEARRIVAL, name);
        ++reported;
      } else if (std::strcmp(action, "remove") == 0 && m_real.erase(name)) {
        Report(DBT_DEVICEREMOVECOMPLETE, name);
        ++reported;
      }
    }
    udev_device_unref(dev);
  }
#else
  (void)reported;
#endif
}

int CPortMonitor::Dispatch() {
  // A handler may open a modal box whose event loop calls Dispatch again;
  // the outer call goes on reading until nothing is pending, so the inner
  // one has nothing to add.
  if (m_dispatching) return 0;
  m_dispatching = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{m_dispatching};
  int reported = 0;
  DispatchInotify(reported);
  DispatchUdev(reported);
  return reported;
}

int CPortMonitor::Poll(int timeoutMs) {
  std::vector<int> fds = Fds();
  if (fds.empty()) return 0;
  std::vector<pollfd> pfds;
  for (int fd : fds) pfds.push_back({fd, POLLIN, 0});
  int rc;
  do {
    rc = poll(pfds.data(), pfds.size(), timeoutMs);
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return 0;
  return Dispatch();
}

}  // namespace qt70
