// Fuzzes the reader of the programming run: any input must either be read
// into records that stay within their bounds, or leave every record and
// request flag exactly as it was.

#include <cstring>

#include "fuzz_rig.h"

using namespace qt70;

namespace {

std::string Snapshot(const COtpEngine& e) {
  std::string s;
  for (const mlc_tag& tag : e.m_tags) {
    size_t size = tag.type == TYPE_MLC8     ? sizeof(mlc_8)
                  : tag.type == TYPE_MLC16  ? sizeof(mlc_16)
                  : tag.type == TYPE_STRING ? sizeof(mlc_string)
                  : tag.type == TYPE_LINE   ? sizeof(mlc_line)
                  : tag.type == TYPE_AV     ? sizeof(mlc_av)
                                            : sizeof(mlc_gen);
    s.append(static_cast<const char*>(tag.record), size);
  }
  for (int flag : {e.m_bXmlUsbValid, e.m_bXmlStringsValid, e.m_bXmlLineValid})
    s.append(reinterpret_cast<const char*>(&flag), sizeof flag);
  return s;
}

void CheckBounds(const COtpEngine& e) {
  for (const mlc_string* s :
       {&e.m_recManufacturerString, &e.m_recProductString, &e.m_recSerialNumberString}) {
    FUZZ_CHECK(s->req <= 16);
    if (s->req) FUZZ_CHECK(s->xml[s->req - 1] == 0);
  }
  FUZZ_CHECK(e.m_recLineCoding.req <= 7);
  const mlc_av& av = e.m_recAddressValue;
  FUZZ_CHECK(av.count <= kMaxPairs);
  for (unsigned i = 0; i < av.count; ++i) {
    FUZZ_CHECK(av.address[i] != 0 && av.address[i] < 0xFFF);
    FUZZ_CHECK(av.value[i] <= 0xFFF);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietXml();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::Rig rig;
  static fuzz::MemFile file;
  const std::string& path = file.Set(data, size);
  rig.engine.reset_run_state();
  // Twice: the second time the records already hold the first request, as
  // with a field or a Config given again.
  for (int pass = 0; pass < 2; ++pass) {
    std::string before = Snapshot(rig.engine);
    int boxes = rig.ui.boxes;
    int result = rig.files.parseDoc(path.c_str());
    if (result == 0) {
      FUZZ_CHECK(Snapshot(rig.engine) == before);
      FUZZ_CHECK(rig.ui.boxes > boxes);  // every failure is told
    } else {
      FUZZ_CHECK(result == 1);
    }
    CheckBounds(rig.engine);
  }
  return 0;
}
