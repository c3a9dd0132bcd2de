#include "emulated_chip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

namespace qt70 {

namespace {

constexpr unsigned kHighRegion = 0x100;  // bit 8: blank 0xFF, bits can only be cleared
constexpr unsigned kBank2 = 0x200;       // bit 9: second bank
constexpr uint64_t kMaxLatencyUs = 1000000;

bool IsHigh(unsigned address) { return (address & kHighRegion) != 0; }
uint8_t BlankByte(unsigned address) { return IsHigh(address) ? 0xFF : 0x00; }

// A number in C notation: 0x1F (hex), 017 (octal), 15 (decimal). No sign,
// no blanks, nothing after it.
std::optional<uint64_t> ParseNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '0') {
    base = 8;
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return std::nullopt;
    if (digit >= base) return std::nullopt;
    if (value > (UINT64_MAX - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string Errno(const std::string& what, const std::string& path, int err) {
  return what + " " + path + ": " + std::strerror(err);
}

// Writes `data` to `path` through a temporary file in the same folder:
// written in full, synced, renamed over the target (or linked to it when
// the target must not exist yet), and the folder synced, so that a reader
// or a crash sees either the old file or the whole new one.
ImageStatus WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size,
                                bool replace, std::string* error) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = (dir == "/" ? "" : dir) + "/." + base + ".tmpXXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');

  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    SetError(error, Errno("cannot create a temporary file beside", path, errno));
    return ImageStatus::WriteFailed;
  }
  temp = name.data();
  auto fail = [&](const std::string& message) {
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    SetError(error, message);
    return ImageStatus::WriteFailed;
  };

  // Keep the permissions of the file being replaced; a new file gets the
  // usual ones (0666 less the umask) rather than mkstemp's 0600.
  struct stat old {};
  mode_t mode;
  if (stat(path.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0) return fail(Errno("cannot set the mode of", temp, errno));

  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(Errno("cannot write", temp, errno));
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0) return fail(Errno("cannot sync", temp, errno));
  if (close(fd) != 0) {
    fd = -1;
    return fail(Errno("cannot close", temp, errno));
  }
  fd = -1;

  if (replace) {
    if (rename(temp.c_str(), path.c_str()) != 0) return fail(Errno("cannot rename over", path, errno));
  } else {
    if (link(temp.c_str(), path.c_str()) != 0) {
      const int err = errno;
      return fail(err == EEXIST ? path + " exists already" : Errno("cannot create", path, err));
    }
    unlink(temp.c_str());
  }

  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);  // best effort: the rename itself has happened
    close(dirFd);
  }
  return ImageStatus::Ok;
}

}  // namespace

EmulatedChip::EmulatedChip() : m_regs(0x10000, 0) {
  for (unsigned a = 0; a < kChipOtpSize; ++a) m_otp[a] = BlankByte(a);
}

// ---------------------------------------------------------------------------
// Faults

bool EmulatedChip::AddFault(std::string_view spec, std::string* error) {
  const std::string quoted = "'" + std::string(spec) + "'";
  const size_t eq = spec.find('=');
  const std::string_view key = spec.substr(0, eq);
  const std::optional<std::string_view> value =
      eq == std::string_view::npos ? std::nullopt : std::optional(spec.substr(eq + 1));

  auto bad = [&](const std::string& why) {
    SetError(error, "bad fault " + quoted + ": " + why);
    return false;
  };
  auto flag = [&](bool& target) {
    if (value) return bad("takes no value");
    target = true;
    return true;
  };
  auto count = [&](uint64_t& target, bool* enable, uint64_t max, const char* what) {
    if (!value) return bad(std::string("needs ") + what + " (" + std::string(key) + "=" + what + ")");
    auto n = ParseNumber(*value);
    if (!n) return bad(std::string(what) + " '" + std::string(*value) + "' is not a number");
    if (*n > max) return bad(std::string(what) + " " + std::to_string(*n) + " is above " + std::to_string(max));
    target = *n;
    if (enable) *enable = true;
    return true;
  };
  // ADDR.BIT[.N]: the address within a bank and the bit.
  auto bitSpec = [&](size_t parts, unsigned* address, unsigned* bit, uint64_t* n) {
    const char* form = parts == 2 ? "ADDR.BIT" : "ADDR.BIT.N";
    if (!value) return bad(std::string("needs ") + form);
    auto fields = Split(*value, '.');
    if (fields.size() != parts) return bad(std::string("expected ") + form);
    auto a = ParseNumber(fields[0]);
    if (!a) return bad("address '" + std::string(fields[0]) + "' is not a number");
    if (*a >= kOtpBankSize) return bad("address '" + std::string(fields[0]) + "' is outside 0x000-0x1FF");
    auto b = ParseNumber(fields[1]);
    if (!b) return bad("bit '" + std::string(fields[1]) + "' is not a number");
    if (*b > 7) return bad("bit '" + std::string(fields[1]) + "' is outside 0-7");
    *address = static_cast<unsigned>(*a);
    *bit = static_cast<unsigned>(*b);
    if (parts == 3) {
      auto k = ParseNumber(fields[2]);
      if (!k) return bad("N '" + std::string(fields[2]) + "' is not a number");
      if (*k == 0) return bad("N must be 1 or more");
      *n = *k;
    }
    return true;
  };

  if (key == "stuck" || key == "stuck2") {
    unsigned address, bit;
    if (!bitSpec(2, &address, &bit, nullptr)) return false;
    m_stuck[address | (key == "stuck2" ? kBank2 : 0)] |= static_cast<uint8_t>(1u << bit);
    return true;
  }
  if (key == "weak") {
    unsigned address, bit;
    uint64_t n = 0;
    if (!bitSpec(3, &address, &bit, &n)) return false;
    for (auto& w : m_weak) {
      if (w.address == address && w.bit == bit) {
        w.takesOn = n;
        return true;
      }
    }
    m_weak.push_back({address, bit, n, {0, 0}});
    return true;
  }
  if (key == "no-otp") return flag(m_noOtp);
  if (key == "reject-reg") return flag(m_rejectReg);
  if (key == "unplug-after") return count(m_unplugAfter, &m_unplug, UINT64_MAX, "N");
  if (key == "busy") return count(m_busyReads, nullptr, UINT64_MAX, "N");
  if (key == "hang-after") return count(m_hangAfter, &m_hang, UINT64_MAX, "N");
  if (key == "latency") return count(m_latencyUs, nullptr, kMaxLatencyUs, "US");
  SetError(error, "unknown fault " + quoted +
                      " (known: stuck=ADDR.BIT, stuck2=ADDR.BIT, weak=ADDR.BIT.N, no-otp, "
                      "reject-reg, unplug-after=N, busy=N, hang-after=N, latency=US)");
  return false;
}

// ---------------------------------------------------------------------------
// Requests

bool EmulatedChip::Request(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) {
  ++m_total;
  ++m_sequence;
  switch (code) {
    case IOCTL_QTUSB_READ_OTP: ++m_counts[0]; break;
    case IOCTL_QTUSB_WRITE_OTP: ++m_counts[1]; break;
    case IOCTL_QTUSB_READ_REG: ++m_counts[2]; break;
    case IOCTL_QTUSB_WRITE_REG: ++m_counts[3]; break;
    default: ++m_otherCount; break;
  }
  if (m_latencyUs) std::this_thread::sleep_for(std::chrono::microseconds(m_latencyUs));
  if (m_unplug && m_sequence > m_unplugAfter) return false;

  m_changed = false;
  bool ok = RequestInner(code, in, out);
  if (m_changed && m_autoSave && !m_imagePath.empty()) {
    std::string error;
    if (SaveImage(&error) != ImageStatus::Ok) {
      // The burn happened in memory but is not on disk: the caller must
      // not believe it completed.
      m_lastSaveError = error;
      ++m_saveFailures;
      ok = false;
    }
  }
  m_changed = false;
  return ok;
}

bool EmulatedChip::RequestInner(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) {
  switch (code) {
    case IOCTL_QTUSB_READ_OTP:
      // The driver's OTP requests address bank 1 only.
      if (m_noOtp || in.wReg >= kOtpBankSize) return false;
      out[0] = m_otp[in.wReg & (kOtpBankSize - 1)];
      return true;
    case IOCTL_QTUSB_WRITE_OTP:
      if (m_noOtp || in.wReg >= kOtpBankSize) return false;
      return WriteOtpByte(in.wReg, static_cast<uint8_t>(in.wData & 0xFF));
    case IOCTL_QTUSB_READ_REG: {
      if (m_rejectReg) return false;
      uint16_t value;
      if (in.wReg == kRegOtpStatus) value = StatusBusy() ? 0x0001 : 0x0000;
      else value = Reg(in.wReg);
      out[0] = static_cast<uint8_t>(value & 0xFF);
      out[1] = static_cast<uint8_t>(value >> 8);
      return true;
    }
    case IOCTL_QTUSB_WRITE_REG:
      if (m_rejectReg) return false;
      m_regs[in.wReg] = in.wData;
      if (in.wReg == kRegOtpCommand) return Command(in.wData);
      return true;
    default:
      return false;  // not one of this driver's requests
  }
}

bool EmulatedChip::StatusBusy() {
  if (m_hang && m_sequence >= m_hangAfter) return true;
  if (m_busyLeft) {
    --m_busyLeft;
    return true;
  }
  return false;
}

uint8_t EmulatedChip::WeakMask(unsigned bankAddress) const {
  uint8_t mask = 0;
  for (const auto& w : m_weak)
    if (w.address == (bankAddress & (kOtpBankSize - 1))) mask |= static_cast<uint8_t>(1u << w.bit);
  return mask;
}

// The driver programs the byte in both banks: afterwards each bank reads
// old OR data in the low region and old AND data in the high region, but
// for the bits that do not take there (stuck in that bank, or weak).
bool EmulatedChip::WriteOtpByte(unsigned address, uint8_t data) {
  for (unsigned bank : {0u, kBank2}) {
    const unsigned a = address | bank;
    const uint8_t blocked = m_stuck[a] | WeakMask(a);
    const uint8_t old = m_otp[a];
    uint8_t now;
    if (IsHigh(a)) now = old & static_cast<uint8_t>(data | blocked);
    else now = old | static_cast<uint8_t>(data & ~blocked);
    if (now != old) {
      m_otp[a] = now;
      m_changed = true;
    }
  }
  return true;
}

// Programs one bit at a bank address (0x000-0x3FF): sets it in the low
// region, clears it in the high region.
bool EmulatedChip::ProgramBit(unsigned address, unsigned bit) {
  const uint8_t m = static_cast<uint8_t>(1u << bit);
  if (m_stuck[address] & m) return false;
  // A weak bit takes on the N-th command 4 aimed at it. It is weak in both
  // banks, and each bank counts its own commands: weak=ADDR.BIT.N takes at
  // ADDR on the N-th command at ADDR and at ADDR|0x200 on the N-th command
  // at ADDR|0x200.
  for (auto& w : m_weak) {
    if (w.address == (address & (kOtpBankSize - 1)) && w.bit == bit) {
      uint64_t& seen = w.seen[(address & kBank2) ? 1 : 0];
      if (seen < UINT64_MAX) ++seen;
      if (seen < w.takesOn) return false;
    }
  }
  const uint8_t old = m_otp[address];
  m_otp[address] = IsHigh(address) ? (old & static_cast<uint8_t>(~m)) : (old | m);
  if (m_otp[address] != old) m_changed = true;
  return true;
}

// A write to the command register. Every command keeps the status busy for
// the configured number of reads. Values other than 1 and 4 change no OTP;
// 5 to 10 are the controller's settings and access steps, others are taken
// and do nothing, as a register that holds what was written.
bool EmulatedChip::Command(uint16_t command) {
  m_busyLeft = m_busyReads;
  const unsigned address = m_regs[kRegOtpAddress] & (kChipOtpSize - 1);  // a 10-bit address
  switch (command) {
    case 1:
      m_fetched = m_otp[address];
      break;
    case 4: {
      // Bits are selected by a 1 in the low region and by a 0 in the high
      // region. One bit per command is the rule; a mask selecting several
      // programs each of them.
      uint8_t select = static_cast<uint8_t>(m_regs[kRegOtpOperand] & 0xFF);
      if (IsHigh(address)) select = static_cast<uint8_t>(~select);
      for (unsigned bit = 0; bit < 8; ++bit)
        if (select & (1u << bit)) ProgramBit(address, bit);
      break;
    }
    default:
      break;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Inspection

uint8_t EmulatedChip::Otp(unsigned address) const { return m_otp[address & (kChipOtpSize - 1)]; }

void EmulatedChip::SetOtp(unsigned address, uint8_t value) { m_otp[address & (kChipOtpSize - 1)] = value; }

uint16_t EmulatedChip::Reg(uint16_t reg) const {
  if (reg == kRegOtpStatus) return (m_busyLeft || (m_hang && m_sequence >= m_hangAfter)) ? 1 : 0;
  if (reg == kRegOtpData) return m_fetched;
  return m_regs[reg];
}

uint64_t EmulatedChip::RequestCount(uint32_t code) const {
  switch (code) {
    case IOCTL_QTUSB_READ_OTP: return m_counts[0];
    case IOCTL_QTUSB_WRITE_OTP: return m_counts[1];
    case IOCTL_QTUSB_READ_REG: return m_counts[2];
    case IOCTL_QTUSB_WRITE_REG: return m_counts[3];
    default: return m_otherCount;
  }
}

void EmulatedChip::ResetCounters() {
  m_counts = {};
  m_otherCount = 0;
  m_total = 0;
}

// ---------------------------------------------------------------------------
// Image file

ImageStatus EmulatedChip::LoadImage(const std::string& path, std::string* error) {
  // O_NONBLOCK so that a FIFO in the image's place does not block the open.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) {
      SetError(error, "image file " + path + " does not exist");
      return ImageStatus::Missing;
    }
    SetError(error, Errno("cannot open image file", path, err));
    return ImageStatus::Unreadable;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    SetError(error, "image file " + path + " is not a regular file");
    return ImageStatus::Unreadable;
  }
  // Read one byte more than the largest image to tell a longer file apart.
  uint8_t buffer[kChipOtpSize + 1];
  size_t got = 0;
  while (got < sizeof buffer) {
    ssize_t n = read(fd, buffer + got, sizeof buffer - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      close(fd);
      SetError(error, Errno("cannot read image file", path, err));
      return ImageStatus::Unreadable;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  if (got != kOtpBankSize && got != kChipOtpSize) {
    SetError(error, "image file " + path + " has " +
                        (got > kChipOtpSize ? "more than 1024" : std::to_string(got)) +
                        " bytes; an image has 512 or 1024");
    return ImageStatus::WrongSize;
  }

  // Saves replace the file itself, not a symbolic link that points to it.
  std::string target = path;
  struct stat lst {};
  if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }

  for (size_t a = 0; a < kOtpBankSize; ++a) {
    m_otp[a] = buffer[a];
    m_otp[a | kBank2] = got == kChipOtpSize ? buffer[a | kBank2] : buffer[a];
  }
  m_imagePath = target;
  m_imageSize = got;
  return ImageStatus::Ok;
}

ImageStatus EmulatedChip::SaveImage(std::string* error) {
  if (m_imagePath.empty()) {
    SetError(error, "no image file is loaded");
    return ImageStatus::WriteFailed;
  }
  // A 512-byte image holds bank 1 only. When bank 2 has drifted from it
  // (a stuck2 fault), the file still keeps its size and bank 1: the file
  // format is the user's, and bank 2 is a mirror it cannot express.
  return WriteFileAtomically(m_imagePath, m_otp.data(), m_imageSize, true, error);
}

ImageStatus EmulatedChip::WriteBlankImage(const std::string& path, size_t size, std::string* error) {
  return WriteBlankImage(path, size, error, true);
}

ImageStatus EmulatedChip::WriteBlankImage(const std::string& path, size_t size, std::string* error,
                                          bool replace) {
  if (size != kOtpBankSize && size != kChipOtpSize) {
    SetError(error, "an image has 512 or 1024 bytes, not " + std::to_string(size));
    return ImageStatus::WrongSize;
  }
  uint8_t blank[kChipOtpSize];
  for (unsigned a = 0; a < kChipOtpSize; ++a) blank[a] = BlankByte(a);
  return WriteFileAtomically(path, blank, size, replace, error);
}

}  // namespace qt70
