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

  // --- Programming run -------------------------------------------------------
  void program_file();

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

 private:
  IRegisterAccess& m_regs;
  IOperator& m_ui;
  IConfigReader& m_reader;
};

}  // namespace qt70
