// Fuzzes the writer against the loader and the reader: settings made from
// the input are saved, then loaded back (the dialog's view) and read back
// (the engine's view); both must give back what was saved.

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>

#include <cstring>

#include "fuzz_rig.h"

using namespace qt70;

namespace {

std::string TempPath() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qt70-fuzz.XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) std::abort();
  return tmpl + "/rt.xml";
}

// Validation lets only texts beginning with "0x" through.
std::string HexText(FuzzedDataProvider& in) { return "0x" + in.ConsumeRandomLengthString(6); }

bool Writable(const std::string& text) {
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') return false;
  }
  return true;
}

// What a string becomes in the file and back: at most 15 bytes, up to the
// first zero byte.
std::string Stored(const std::string& s) {
  std::string cut = s.substr(0, 15);
  return cut.substr(0, cut.find('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietXml();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Rig rig;
  static const std::string path = TempPath();
  FuzzedDataProvider in(data, size);

  CSettings s;
  std::string* texts[] = {&s.m_strVendorId,    &s.m_strDeviceId,    &s.m_strMaxPower,
                          &s.m_strGpioMode,    &s.m_strFlowControl, &s.m_strGpioDirection,
                          &s.m_strGpioIntMask, &s.m_strPinPulldown, &s.m_strPinPullup,
                          &s.m_strGpioSet};
  bool writable = true;
  for (std::string* t : texts) {
    *t = HexText(in);
    writable = writable && Writable(*t);
  }
  s.m_strManufacturer = in.ConsumeRandomLengthString(20);
  s.m_strProduct = in.ConsumeRandomLengthString(20);
  s.m_strSerialNumber = in.ConsumeRandomLengthString(20);
  s.m_bSelfPowered = in.ConsumeBool();
  s.m_bRemoteWakeup = in.ConsumeBool();
  s.m_bLowPowerActiveHigh = in.ConsumeBool();
  s.m_bVbusSense = in.ConsumeBool();
  s.m_nBaudRate = in.ConsumeIntegral<uint32_t>();
  s.m_nCharFormat = in.ConsumeIntegralInRange(0, 1);
  s.m_nParity = in.ConsumeIntegralInRange(0, 4);
  s.m_nDataBits = in.ConsumeIntegralInRange(0, 2);
  s.m_nCoreClock = in.ConsumeIntegralInRange(-1, 5);

  std::string error;
  bool written = CConfigFiles::WriteConfigFile(s, path, &error);
  FUZZ_CHECK(written == writable);
  if (!written) return 0;

  CSettings loaded;
  FUZZ_CHECK(rig.files.LoadXmlFile(path, loaded));
  CSettings want = s;
  want.m_strManufacturer = Stored(s.m_strManufacturer);
  want.m_strProduct = Stored(s.m_strProduct);
  want.m_strSerialNumber = Stored(s.m_strSerialNumber);
  want.m_bUseDefaultManufacturer = want.m_strManufacturer.empty();
  want.m_bUseDefaultProduct = want.m_strProduct.empty();
  want.m_bUseDefaultSerial = want.m_strSerialNumber.empty();
  if (want.m_nCoreClock < 0 || want.m_nCoreClock > 3) want.m_nCoreClock = 3;
  FUZZ_CHECK(loaded == want);

  // The dialog's text never holds a zero byte; with one inside, the reader
  // places the NUL by its count of non-zero bytes, which is another story.
  for (const std::string* t : {&s.m_strManufacturer, &s.m_strProduct, &s.m_strSerialNumber})
    if (t->substr(0, 15).find('\0') != std::string::npos) return 0;
  COtpEngine& e = rig.engine;
  e.reset_run_state();
  FUZZ_CHECK(rig.files.parseDoc(path.c_str()) == 1);
  const struct {
    const mlc_string& rec;
    const std::string& text;
    bool written;
  } strings[] = {{e.m_recManufacturerString, want.m_strManufacturer, !s.m_strManufacturer.empty()},
                 {e.m_recProductString, want.m_strProduct, !s.m_strProduct.empty()},
                 {e.m_recSerialNumberString, want.m_strSerialNumber, !s.m_strSerialNumber.empty()}};
  for (const auto& str : strings) {
    // A written string of zero bytes only is an empty text with its NUL.
    FUZZ_CHECK(str.rec.req == (str.written ? str.text.size() + 1 : 0));
    if (str.written)
      FUZZ_CHECK(std::memcmp(str.rec.xml, str.text.c_str(), str.text.size() + 1) == 0);
  }
  FUZZ_CHECK(e.m_recGpioMode.xml ==
             static_cast<uint8_t>(std::strtoul(s.m_strGpioMode.c_str(), nullptr, 0)));
  FUZZ_CHECK(e.m_recUsbVendorId.xml ==
             static_cast<uint16_t>(std::strtoul(s.m_strVendorId.c_str(), nullptr, 0)));
  FUZZ_CHECK(e.m_recLineCoding.req == 7);
  FUZZ_CHECK(std::memcmp(e.m_recLineCoding.xml, &s.m_nBaudRate, 4) == 0);
  return 0;
}
