#include "fakes.h"

#include <algorithm>

namespace qt70::test {

FakeRegs::FakeRegs() { Blank(); }

void FakeRegs::Blank() {
  for (unsigned i = 0; i < 512; ++i) otp[i] = (i & 0x100) ? 0xFF : 0x00;
}

uint16_t FakeRegs::ReadReg(uint16_t) { return 0; }
void FakeRegs::WriteReg(uint16_t, uint16_t) {}

uint8_t FakeRegs::ReadOTPReg(uint16_t wReg) {
  otp_reads.push_back(wReg);
  if (std::find(failing_otp_reads.begin(), failing_otp_reads.end(), wReg) !=
      failing_otp_reads.end()) {
    read_failed = 1;
    return 0xFF;
  }
  return otp[wReg & 0x1FF];
}

void FakeRegs::WriteOTPReg(uint16_t, uint16_t) {}

int FakeReader::parseDoc(const char* docname) {
  ++calls;
  return fill ? fill(docname) : 1;
}

}  // namespace qt70::test
