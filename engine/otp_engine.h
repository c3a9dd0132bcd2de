// The OTP engine: the field table and its records, the evaluation of the
// chip's OTP image, the write list, byte programming and the programming run.
// The dialog owns one engine by value; the command line owns another.
#pragma once

#include <cstdint>

#include "config_reader.h"
#include "operator.h"
#include "otp_types.h"
#include "register_access.h"

namespace qt70 {

// The OTP image of the chip, indexed by OTP address.
extern unsigned char device_otp[kOtpSize];

class COtpEngine {
 public:
  COtpEngine(IRegisterAccess& regs, IOperator& ui, IConfigReader& reader);
  COtpEngine(const COtpEngine&) = delete;
  COtpEngine& operator=(const COtpEngine&) = delete;

  // --- Field table and records --------------------------------------------
  // Fills the 18 table entries and clears every record they point to.
  void initialize_tags();
  // Resets the run state as the dialog start does, then fills the table.
  void reset_run_state();
  // Finds a table entry by its name; null when there is none.
  const mlc_tag* find_tag(const char* name) const;

  // --- Image reading and evaluation ---------------------------------------
  void read_all_otp(unsigned char* buffer);
  int get_from_otp(const unsigned char* buffer, uint32_t address, uint32_t type, void* dest);
  int read_otp_av(const unsigned char* buffer, mlc_av* av);
  void eval_all_otp(const unsigned char* buffer);
  int is_overridden(const mlc_tag* tag);
  void print_all_otp(const unsigned char* buffer);
  void print_tag(const mlc_tag* tag);
  void print_mlc_16(const mlc_tag* tag);
  void print_mlc_string(const mlc_tag* tag);

  // --- Write-list construction ---------------------------------------------
  uint8_t value_not_compatible(uint32_t address, uint8_t oldval, uint8_t newval);
  uint32_t string_not_compatible(uint32_t address, const uint8_t* oldval, const uint8_t* newval,
                                 uint32_t length);
  void add_write_list_mlc16(uint32_t address, uint16_t value, const char* comment);
  void add_write_list_av(uint32_t address, uint32_t value, const char* comment);
  void add_write_list_string(uint32_t address, const uint8_t* string, uint32_t length,
                             const char* comment);
  void add_write_list_override(uint32_t address, const uint8_t* string, uint32_t length,
                               const char* comment);
  void try_write_list_mlc8(mlc_tag* tag);
  void try_write_list_mlc16(mlc_tag* tag);
  void try_write_list_gen(mlc_tag* tag);
  void try_write_list_line(mlc_tag* tag);
  void try_write_list_string(mlc_tag* tag);
  void try_write_list_av(mlc_tag* tag);
  void try_write_overrides();
  void try_write_flags();
  void create_otp_write_list(const unsigned char* buffer, int lock);
  int check_flags(int force);
  void print_otp_write_list();
  // Appends one entry to the write list; an entry past the list's capacity
  // is not stored, only counted in m_nWriteOverflow.
  void append_write(uint32_t address, uint8_t value, const char* comment);
  // True when the last list built fits: both lists within their capacity
  // and every pair within the pair area.
  bool list_fits() const;
  // Says by how much the last list built does not fit, e.g. "3 address/value
  // pairs too many (10 needed, 7 free)"; an empty text when it fits.
  void describe_shortfall(char* text, unsigned size) const;

  // --- Byte programming ------------------------------------------------------
  void otp_set_reg(uint32_t addr, uint32_t value);
  void otp_wait();
  void otp_begin();
  void otp_pgm_read_1();
  void otp_pgm_read_2();
  void otp_set_read();
  uint8_t otp_read_byte(uint32_t address);
  void otp_program_all_data(uint32_t address, uint8_t wdata);
  uint8_t otp_read_and_compare(uint32_t address);
  void otp_program_failed_bits(uint32_t addr, uint8_t fail_mask);
  uint8_t otp_check_byte(uint32_t addr);
  void otp_write_byte(uint16_t addr, uint8_t value);
  void write_otp_list();
  // Every register and OTP request of the byte programming goes through
  // these: they stop issuing requests once the run has lost the chip
  // (m_linkFailure), and notice a port closed under the run.
  void reg_write(uint16_t reg, uint16_t value);
  uint16_t reg_read(uint16_t reg);
  void otp_write_request(uint16_t address, uint8_t value);

  // --- Programming run -------------------------------------------------------
  void program_file();
  // Steps 1 to 11 of the run, shared by program_file and the dry run: clear,
  // read and decode the image, parse the file, check the valid-flag groups
  // and build the list. Returns false when the run ends there; it has then
  // told the operator why and set m_runResult.
  bool prepare_run();
  // How the last run ended, for callers that map it to an exit status.
  enum class RunResult {
    NotRun,       // no run yet, or one still being prepared
    Prepared,     // prepare_run done, nothing programmed
    Success,      // every byte verified, the chip locked
    BitsFailed,   // programmed and locked, some bytes wrong in both banks
    Locked,       // the chip was locked already; nothing programmed
    Rejected,     // the configuration file was rejected by the reader
    DeviceError,  // no port, the port closed, the controller silent, image unreadable
    NoFit,        // the list does not fit the chip's remaining OTP; nothing programmed
  };
  // Why the chip was lost during a run.
  enum class LinkFailure {
    None,
    NoPort,      // no port open, or the port closed during the run
    NoAnswer,    // the controller stayed busy past the wait's bounds
    Rejected,    // the status read itself was rejected
  };
  // Ends a run that lost the chip: tries to put a controller that may still
  // listen back into reading, then reports the failure in a message box and
  // the status line; `programming` says how far the list got.
  void end_run_link_failure(bool programming);
  // Shows an error box (caption "Error"), then shows the status line with its text.
  void report_error(const char* box_text, const char* status_text);

  // --- Members, in the order the dialog declares them ------------------------
  uint8_t m_otpExpected = 0;
  mlc_tag m_tags[kTagCount] = {};

  mlc_8 m_recConfig0 = {};
  mlc_8 m_recConfig3 = {};
  mlc_8 m_recUsbAttributes = {};
  mlc_8 m_recUsbMaxPower = {};
  mlc_16 m_recUsbVendorId = {};
  mlc_16 m_recUsbProductId = {};
  mlc_av m_recAddressValue = {};
  mlc_string m_recManufacturerString = {};
  mlc_string m_recProductString = {};
  mlc_string m_recSerialNumberString = {};
  mlc_line m_recLineCoding = {};
  mlc_gen m_recGpioDirection = {};
  mlc_gen m_recGpioIntMask = {};
  mlc_gen m_recGpioMode = {};
  mlc_gen m_recGpioSet = {};
  mlc_gen m_recPinPulldownEn = {};
  mlc_gen m_recPinPullupEn = {};
  mlc_gen m_recFlowControl = {};

  mlc_av m_devAddressValues = {};

  uint32_t m_nWriteCount = 0;
  uint32_t m_writeAddress[kListCapacity] = {};
  uint8_t m_writeValue[kListCapacity] = {};
  const char* m_writeComment[kListCapacity] = {};

  uint32_t m_nOverrideCount = 0;
  uint32_t m_overrideAddress[kListCapacity] = {};
  uint8_t m_overrideValue[kListCapacity] = {};
  const char* m_overrideComment[kListCapacity] = {};

  int32_t m_nNextPairAddress = 0x42;

  int m_bDevUsbValid = 0;
  int m_bDevStringsValid = 0;
  int m_bDevLineValid = 0;
  int m_bXmlUsbValid = 0;
  int m_bXmlStringsValid = 0;
  int m_bXmlLineValid = 0;
  int m_bDevLocked = 0;
  int m_bForce = 0;
  int m_bLock = 1;
  int32_t m_nFailedBytes = 0;

  // --- Run book-keeping ------------------------------------------------------
  // Capacity counts of the last list built: entries and pairs that did not
  // fit (they are counted, never stored), and the pairs the list asks for.
  uint32_t m_nWriteOverflow = 0;
  uint32_t m_nOverrideOverflow = 0;
  uint32_t m_nPairsQueued = 0;
  uint32_t m_nPairOverflow = 0;
  // What check_flags returned in the last run: fields missing from a
  // valid-flag group that the run sets for the first time.
  int m_nMissingFields = 0;
  // Bounds of every busy wait: polls of the status register, and wall clock.
  uint32_t m_nWaitPollLimit = 100000;
  uint32_t m_nWaitMillisLimit = 2000;
  // Set when the run lost the chip; no request is issued after it.
  LinkFailure m_linkFailure = LinkFailure::None;
  // The not-opened message has been shown in this run.
  bool m_bNotOpenedShown = false;
  // Write-list entries programmed completely in this run, for the failure message.
  uint32_t m_nEntriesDone = 0;
  RunResult m_runResult = RunResult::NotRun;
  // "Unable to program ..." report of the failed bytes of the run.
  char m_failReport[kListCapacity * 40 + 32] = {};
  // Text of the run's last message box (and status line) built from parts.
  char m_runMessage[sizeof m_failReport + 256] = {};

 private:
  IRegisterAccess& m_regs;
  IOperator& m_ui;
  IConfigReader& m_reader;
};

}  // namespace qt70
