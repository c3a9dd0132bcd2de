// Fuzzes the loader: any input either loads (with strings of at most 16
// bytes and the Use Kelm Defaults flags following them) or leaves the
// settings exactly as they were after a message.

#include "fuzz_rig.h"

using namespace qt70;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietXml();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Rig rig;
  static fuzz::MemFile file;
  const std::string& path = file.Set(data, size);

  CSettings before;
  before.m_strComPort = "COM1";
  before.m_strManufacturer = "Kelm";
  before.m_strGpioMode = "0x01";
  before.m_nBaudRate = 9600;
  CSettings s = before;
  int boxes = rig.ui.boxes;
  if (!rig.files.LoadXmlFile(path, s)) {
    FUZZ_CHECK(s == before);
    FUZZ_CHECK(rig.ui.boxes == boxes + 1);
    return 0;
  }
  FUZZ_CHECK(rig.ui.boxes == boxes);
  FUZZ_CHECK(s.m_strComPort == before.m_strComPort);
  for (const std::string* str : {&s.m_strManufacturer, &s.m_strProduct, &s.m_strSerialNumber}) {
    FUZZ_CHECK(str->size() <= 16);
    FUZZ_CHECK(str->find('\0') == std::string::npos);
  }
  FUZZ_CHECK(s.m_bUseDefaultManufacturer == (s.m_strManufacturer.empty() ? 1 : 0));
  FUZZ_CHECK(s.m_bUseDefaultProduct == (s.m_strProduct.empty() ? 1 : 0));
  FUZZ_CHECK(s.m_bUseDefaultSerial == (s.m_strSerialNumber.empty() ? 1 : 0));
  FUZZ_CHECK(s.m_nCharFormat >= -1 && s.m_nCharFormat <= 1);
  FUZZ_CHECK(s.m_nParity >= 0 && s.m_nParity <= 255);
  FUZZ_CHECK(s.m_nDataBits >= 0 && s.m_nDataBits <= 6);
  FUZZ_CHECK(s.m_nCoreClock >= 0 && s.m_nCoreClock <= 3);
  return 0;
}
