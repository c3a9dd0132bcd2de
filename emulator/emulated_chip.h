// The emulated chip: 1024 bytes of OTP memory in two banks, the OTP
// controller register block and the four driver requests, with switchable
// faults, request counters and an image file that holds the OTP content.
//
// It stands in for the chip and the maker's driver together: whatever the
// tool sends through ITransport lands in Request(). It is not thread-safe;
// one owner drives it (the qt70chip server, a test, a benchmark).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/driver.h"

namespace qt70 {

enum class ImageStatus { Ok, Missing, Unreadable, WrongSize, WriteFailed };

// OTP controller registers (0x0D40 + n).
constexpr uint16_t kRegOtpOperand = 0x0D41;   // bit mask of command 4, setting of command 5
constexpr uint16_t kRegOtpAddress = 0x0D42;   // OTP address of commands 1 and 4, 0x000-0x3FF
constexpr uint16_t kRegOtpCommand = 0x0D43;   // command register
constexpr uint16_t kRegOtpStatus = 0x0D44;    // bit 0: busy
constexpr uint16_t kRegOtpData = 0x0D45;      // the byte fetched by command 1

constexpr size_t kOtpBankSize = 0x200;
constexpr size_t kChipOtpSize = 2 * kOtpBankSize;

class EmulatedChip {
 public:
  EmulatedChip();  // blank chip, no faults, no file

  // Switches on one fault. ADDR is an address within a bank, 0x000-0x1FF,
  // BIT 0-7; numbers in C notation (0x1F, 31, 037).
  //   stuck=ADDR.BIT     the bit never takes at ADDR (bank 1), neither from
  //                      OTP writes nor from bit-program commands
  //   stuck2=ADDR.BIT    the same at ADDR|0x200 (bank 2)
  //   weak=ADDR.BIT.N    the bit takes from no OTP write, in either bank, and
  //                      in each bank only from the N-th bit-program command
  //                      aimed at it in that bank (N >= 1)
  //   no-otp             OTP requests rejected (a port of another driver)
  //   reject-reg         register requests rejected
  //   unplug-after=N     every request after the N-th is rejected
  //   busy=N             the status reads busy N times after each command
  //   hang-after=N       from the N-th request on the status reads busy
  //   latency=US         every request takes US microseconds (at most 1 s)
  // Faults add up; a repeated busy, latency, weak, unplug or hang spec
  // replaces the earlier value. Returns false and a message naming the fault
  // when it is unknown or malformed; the chip is then unchanged.
  bool AddFault(std::string_view spec, std::string* error);

  // Loads the OTP content from an image file of 512 bytes (bank 1, bank 2
  // mirrors it) or 1024 bytes (bank 1 then bank 2) and remembers the file
  // and its size for SaveImage. On failure the chip is unchanged.
  ImageStatus LoadImage(const std::string& path, std::string* error);
  // Writes the content back to the loaded file, in the size it had, through
  // a temporary file in the same folder that is synced and renamed over it.
  ImageStatus SaveImage(std::string* error);
  // When on, every request that changed the OTP saves the image before it
  // completes; a save that fails turns that request into a rejected one.
  void SetAutoSave(bool on) { m_autoSave = on; }
  // The message of the last failed save ("" when none failed), and how many
  // saves have failed; the server reports them.
  const std::string& LastSaveError() const { return m_lastSaveError; }
  uint64_t SaveFailures() const { return m_saveFailures; }
  const std::string& ImagePath() const { return m_imagePath; }

  // Writes a blank image (low half of each bank 0x00, high half 0xFF) of
  // 512 or 1024 bytes, atomically. `replace` false refuses to touch a file
  // that exists already (WriteFailed, "exists"), without a window in which
  // another process could slip in between the check and the creation.
  static ImageStatus WriteBlankImage(const std::string& path, size_t size, std::string* error);
  static ImageStatus WriteBlankImage(const std::string& path, size_t size, std::string* error,
                                     bool replace);

  // One driver request. Returns true and fills out[0 .. output_size(code))
  // when it completes, false when it is rejected.
  bool Request(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out);

  uint8_t Otp(unsigned address) const;           // 0x000-0x3FF, for tests
  void SetOtp(unsigned address, uint8_t value);  // raw set, for test fixtures
  uint16_t Reg(uint16_t reg) const;              // what a register read would give, no side effect

  // Requests received (completed or rejected) per request code, since the
  // last ResetCounters; codes other than the four count together.
  uint64_t RequestCount(uint32_t code) const;
  uint64_t TotalRequests() const { return m_total; }
  void ResetCounters();

 private:
  struct WeakBit {
    unsigned address;  // within the bank, 0x000-0x1FF
    unsigned bit;
    uint64_t takesOn;  // the bit-program command that makes it take
    uint64_t seen[2];  // bit-program commands so far, per bank
  };

  bool RequestInner(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out);
  bool WriteOtpByte(unsigned address, uint8_t data);
  bool Command(uint16_t command);
  bool ProgramBit(unsigned address, unsigned bit);
  uint8_t WeakMask(unsigned bankAddress) const;
  bool StatusBusy();

  std::array<uint8_t, kChipOtpSize> m_otp{};
  std::vector<uint16_t> m_regs;  // every register, 64 Ki entries
  uint8_t m_fetched = 0;         // the byte that command 1 fetched last
  uint64_t m_busyLeft = 0;       // status reads still busy after the last command

  // Faults.
  std::array<uint8_t, kChipOtpSize> m_stuck{};  // per bank address: bits that never take
  std::vector<WeakBit> m_weak;
  bool m_noOtp = false;
  bool m_rejectReg = false;
  bool m_unplug = false;
  uint64_t m_unplugAfter = 0;
  bool m_hang = false;
  uint64_t m_hangAfter = 0;
  uint64_t m_busyReads = 0;
  uint64_t m_latencyUs = 0;

  // Counters: the four driver requests, anything else, and the total.
  std::array<uint64_t, 4> m_counts{};
  uint64_t m_otherCount = 0;
  uint64_t m_total = 0;
  // Requests since construction; the unplug and hang faults count these,
  // so ResetCounters does not plug a device back in.
  uint64_t m_sequence = 0;

  // Image file.
  std::string m_imagePath;   // as resolved at load time: the file a save replaces
  size_t m_imageSize = 0;    // 512 or 1024
  bool m_autoSave = false;
  bool m_changed = false;    // set by a request that changed the OTP
  std::string m_lastSaveError;
  uint64_t m_saveFailures = 0;
};

// An in-process port on a chip that it does not own.
class EmulatedTransport : public ITransport {
 public:
  explicit EmulatedTransport(EmulatedChip& chip) : m_chip(chip) {}
  bool DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) override {
    return m_chip.Request(code, in, out);
  }

 private:
  EmulatedChip& m_chip;
};

}  // namespace qt70
