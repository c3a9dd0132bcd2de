// Building the write list from a decoded image and the requested records:
// compatibility in both regions, in place versus pairs, conflicts, pair
// positions, the valid-flags entry, missing fields, order and capacities.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/otp_engine.h"
#include "support/fakes.h"
#include "support/recording_operator.h"
#include "support/trace_capture.h"

namespace qt70 {
namespace {

using test::FakeReader;
using test::FakeRegs;
using test::RecordingOperator;
using test::TraceCapture;

struct Entry {
  uint32_t address;
  unsigned value;
  std::string comment;
  bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
  char text[80];
  std::snprintf(text, sizeof text, "(0x%03X, 0x%02X, %s)", e.address, e.value, e.comment.c_str());
  return os << text;
}

// The three write-list entries of one pair at OTP address `at`.
std::vector<Entry> Pair(uint32_t at, unsigned reg, unsigned value, const std::string& comment) {
  return {{at, reg & 0xFF, comment},
          {at + 1, ((value & 0x0F) << 4) | (reg >> 8), comment},
          {at + 2, (value >> 4) & 0xFF, comment}};
}

std::vector<Entry> Cat(std::initializer_list<std::vector<Entry>> parts) {
  std::vector<Entry> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Entry kLock = {0x003, 0x40, "Lock Device"};

struct WriteListFixture : ::testing::Test {
  FakeRegs regs;
  RecordingOperator ui;
  FakeReader reader;
  COtpEngine engine{regs, ui, reader};
  unsigned char image[kOtpSize];
  unsigned stored_pairs = 0;

  void SetUp() override {
    // As the run starts: records cleared, both lists empty.
    engine.reset_run_state();
    engine.m_nWriteCount = engine.m_nOverrideCount = 0;
    engine.m_nWriteOverflow = engine.m_nOverrideOverflow = 0;
    engine.m_nPairsQueued = engine.m_nPairOverflow = 0;
    stored_pairs = 0;
    for (unsigned i = 0; i < kOtpSize; ++i) image[i] = (i & 0x100) ? 0xFF : 0x00;
  }
  void StorePair(unsigned address, unsigned value) {
    const unsigned pos = kPairAreaStart + 3 * stored_pairs++;
    image[pos] = address & 0xFF;
    image[pos + 1] = static_cast<unsigned char>(((value & 0x0F) << 4) | ((address >> 8) & 0x0F));
    image[pos + 2] = (value >> 4) & 0xFF;
  }
  void StoreString(unsigned address, const char* text) {
    std::memcpy(image + address, text, std::strlen(text) + 1);
  }
  void* Record(const char* name) {
    const mlc_tag* tag = engine.find_tag(name);
    EXPECT_NE(tag, nullptr) << name;
    return tag->record;
  }
  // What the reader leaves for each kind of element.
  void Want8(const char* name, uint8_t value) {
    auto* rec = static_cast<mlc_8*>(Record(name));
    rec->req += 1;
    rec->xml = value;
    if (value && engine.find_tag(name)->group == GROUP_USB) engine.m_bXmlUsbValid = 1;
  }
  void Want16(const char* name, uint16_t value) {
    auto* rec = static_cast<mlc_16*>(Record(name));
    rec->req += 1;
    rec->xml = value;
    if (value) engine.m_bXmlUsbValid = 1;
  }
  void WantString(const char* name, const char* text) {
    auto* rec = static_cast<mlc_string*>(Record(name));
    std::memset(rec->xml, 0, sizeof rec->xml);
    std::memcpy(rec->xml, text, std::strlen(text));
    rec->req = static_cast<uint32_t>(std::strlen(text)) + 1;
    if (*text) engine.m_bXmlStringsValid = 1;
  }
  void WantLine(std::initializer_list<uint8_t> bytes) {
    auto* rec = &engine.m_recLineCoding;
    unsigned i = 0;
    bool nonzero = false;
    for (uint8_t b : bytes) {
      rec->xml[i++] = b;
      nonzero |= b != 0;
    }
    rec->req = nonzero ? i : 0;
    if (nonzero) engine.m_bXmlLineValid = 1;
  }
  void WantPair(unsigned address, unsigned value) {
    auto& av = engine.m_recAddressValue;
    av.address[av.count] = static_cast<uint16_t>(address);
    av.value[av.count] = static_cast<uint16_t>(value);
    ++av.count;
  }
  void WantGen(const char* name, uint8_t value) {
    auto* rec = static_cast<mlc_gen*>(Record(name));
    rec->req += 1;
    rec->xml = value;
  }
  // Decodes the image, builds the list with the lock entry, returns it.
  std::vector<Entry> Build() {
    engine.eval_all_otp(image);
    engine.create_otp_write_list(image, 1);
    return List();
  }
  std::vector<Entry> List() const {
    std::vector<Entry> list;
    for (uint32_t i = 0; i < engine.m_nWriteCount; ++i)
      list.push_back({engine.m_writeAddress[i], engine.m_writeValue[i], engine.m_writeComment[i]});
    return list;
  }
};

TEST_F(WriteListFixture, CompatibilityFollowsTheRegionOfTheAddress) {
  struct Row {
    uint32_t address;
    uint8_t oldval, newval, incompatible;
  };
  const Row rows[] = {
      {0x010, 0x80, 0xA0, 0x00},  // low region: adding a bit is fine
      {0x010, 0xA0, 0x80, 0x20},  // low region: bit 5 cannot be cleared
      {0x0FF, 0xFF, 0x00, 0xFF},  // last low-region byte
      {0x000, 0x00, 0xFF, 0x00},
      {0x100, 0xFF, 0x00, 0x00},  // first high-region byte: clearing is fine
      {0x150, 0xFF, 0x3C, 0x00},
      {0x150, 0x3C, 0xFF, 0xC3},  // cleared bits cannot be set again
      {0x1FF, 0x38, 0x3C, 0x04},
      {0x300, 0x00, 0x01, 0x01},  // bit 8 decides, not the bank
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.address);
    EXPECT_EQ(engine.value_not_compatible(r.address, r.oldval, r.newval), r.incompatible);
  }
  // Strings sum the masks of their bytes, each judged at its own address.
  const uint8_t dev[3] = {0x41, 0x43, 0x00}, want[3] = {0x41, 0x42, 0x00};
  EXPECT_EQ(engine.string_not_compatible(0x012, dev, want, 3), 0x01u);
  EXPECT_EQ(engine.string_not_compatible(0x012, want, dev, 3), 0x00u);
  EXPECT_EQ(engine.string_not_compatible(0x0FF, dev, want, 0), 0x00u);
}

// One case per decision: the image the chip holds, what the file asks for,
// and the whole list that results (without the lock entry at its end).
struct DecisionCase {
  const char* name;
  std::function<void(WriteListFixture&)> setup;
  std::vector<Entry> expected;
};

TEST_F(WriteListFixture, DecisionsPerFieldGiveTheExpectedEntries) {
  const DecisionCase cases[] = {
      {"attributes 0x80 to 0xA0 is written in place",
       [](WriteListFixture& f) {
         f.image[0x010] = 0x80;
         f.Want8("USB_ATTRIBUTES", 0xA0);
         f.image[0x004] = 0x01;  // valid flag already set: no flags entry
       },
       {{0x010, 0xA0, "USB_ATTRIBUTES"}}},
      {"attributes 0xA0 to 0x80 goes to a pair",
       [](WriteListFixture& f) {
         f.image[0x010] = 0xA0;
         f.Want8("USB_ATTRIBUTES", 0x80);
         f.image[0x004] = 0x01;
       },
       Pair(0x042, 0x22B, 0x080, "USB_ATTRIBUTES")},
      {"attributes equal to the chip are skipped",
       [](WriteListFixture& f) {
         f.image[0x010] = 0x80;
         f.Want8("USB_ATTRIBUTES", 0x80);
         f.image[0x004] = 0x01;
       },
       {}},
      {"vendor id 0x0000 to 0x1234, low byte first",
       [](WriteListFixture& f) {
         f.Want16("USB_VENDOR_ID", 0x1234);
         f.image[0x004] = 0x01;
       },
       {{0x00C, 0x34, "USB_VENDOR_ID"}, {0x00D, 0x12, "USB_VENDOR_ID"}}},
      {"vendor id whose low byte cannot take the value goes to two pairs",
       [](WriteListFixture& f) {
         f.image[0x00C] = 0xFF;  // 0x00FF
         f.Want16("USB_VENDOR_ID", 0x0100);
         f.image[0x004] = 0x01;
       },
       Cat({Pair(0x042, 0x227, 0x000, "USB_VENDOR_ID"), Pair(0x045, 0x228, 0x001, "USB_VENDOR_ID")})},
      {"vendor id equal to its primary copy stays skipped under a stored pair",
       [](WriteListFixture& f) {
         f.image[0x00C] = 0x34;
         f.image[0x00D] = 0x12;
         f.StorePair(0x228, 0x056);
         f.Want16("USB_VENDOR_ID", 0x1234);
         f.image[0x004] = 0x01;
       },
       {}},
      {"a field a stored pair overrides takes a new pair even when compatible",
       [](WriteListFixture& f) {
         f.StorePair(0x22B, 0x0C0);
         f.image[0x010] = 0x80;
         f.Want8("USB_ATTRIBUTES", 0xA0);
         f.image[0x004] = 0x01;
       },
       Pair(0x045, 0x22B, 0x0A0, "USB_ATTRIBUTES")},
      {"configuration byte 3 that cannot take the request is a conflict",
       [](WriteListFixture& f) {
         f.image[0x003] = 0x02;
         f.Want8("OTP_CONFIG3", 0x01);
       },
       {}},
      {"configuration byte 0 is written in place",
       [](WriteListFixture& f) { f.Want8("OTP_CONFIG0", 0x02); },
       {{0x000, 0x02, "OTP_CONFIG0"}}},
      {"string AB on a blank chip, with its NUL",
       [](WriteListFixture& f) {
         f.WantString("MANUFACTURER_STRING", "AB");
         f.image[0x004] = 0x02;
       },
       {{0x012, 0x41, "MANUFACTURER_STRING"},
        {0x013, 0x42, "MANUFACTURER_STRING"},
        {0x014, 0x00, "MANUFACTURER_STRING"}}},
      {"stored AB to AC only sets a bit: in place",
       [](WriteListFixture& f) {
         f.StoreString(0x012, "AB");
         f.WantString("MANUFACTURER_STRING", "AC");
         f.image[0x004] = 0x02;
       },
       {{0x012, 0x41, "MANUFACTURER_STRING"},
        {0x013, 0x43, "MANUFACTURER_STRING"},
        {0x014, 0x00, "MANUFACTURER_STRING"}}},
      {"stored AC to AB goes to three pairs",
       [](WriteListFixture& f) {
         f.StoreString(0x012, "AC");
         f.WantString("MANUFACTURER_STRING", "AB");
         f.image[0x004] = 0x02;
       },
       Cat({Pair(0x042, 0x22D, 0x041, "MANUFACTURER_STRING"),
            Pair(0x045, 0x22E, 0x042, "MANUFACTURER_STRING"),
            Pair(0x048, 0x22F, 0x000, "MANUFACTURER_STRING")})},
      {"strings not requested add nothing, even with a string on the chip",
       [](WriteListFixture& f) { f.StoreString(0x022, "XY"); },
       {}},
      {"a line coding equal to its primary copy is queued in place again",
       [](WriteListFixture& f) {
         const uint8_t line[7] = {0x80, 0x25, 0, 0, 0, 0, 8};
         std::memcpy(f.image + 0x005, line, 7);
         f.WantLine({0x80, 0x25, 0, 0, 0, 0, 8});
         f.image[0x004] = 0x04;
       },
       {{0x005, 0x80, "LINE_CODING"},
        {0x006, 0x25, "LINE_CODING"},
        {0x007, 0x00, "LINE_CODING"},
        {0x008, 0x00, "LINE_CODING"},
        {0x009, 0x00, "LINE_CODING"},
        {0x00A, 0x00, "LINE_CODING"},
        {0x00B, 0x08, "LINE_CODING"}}},
      {"an overridden line coding goes to seven pairs after the stored one",
       [](WriteListFixture& f) {
         f.StorePair(0x226, 0x008);
         f.WantLine({0x80, 0x25, 0, 0, 0, 0, 8});
         f.image[0x004] = 0x04;
       },
       Cat({Pair(0x045, 0x220, 0x80, "LINE_CODING"), Pair(0x048, 0x221, 0x25, "LINE_CODING"),
            Pair(0x04B, 0x222, 0x00, "LINE_CODING"), Pair(0x04E, 0x223, 0x00, "LINE_CODING"),
            Pair(0x051, 0x224, 0x00, "LINE_CODING"), Pair(0x054, 0x225, 0x00, "LINE_CODING"),
            Pair(0x057, 0x226, 0x08, "LINE_CODING")})},
      {"a register field requested as 0 produces nothing",
       [](WriteListFixture& f) { f.WantGen("GPIO_MODE", 0x00); },
       {}},
      {"a register field requested as 0x0F produces one pair",
       [](WriteListFixture& f) { f.WantGen("GPIO_MODE", 0x0F); },
       Pair(0x042, 0xC0C, 0x00F, "GPIO_MODE")},
      {"a register field the chip holds already gets a second identical pair",
       [](WriteListFixture& f) {
         f.StorePair(0xC0C, 0x00F);
         f.WantGen("GPIO_MODE", 0x0F);
       },
       Pair(0x045, 0xC0C, 0x00F, "GPIO_MODE")},
      {"requested pairs are queued in file order, after two stored pairs",
       [](WriteListFixture& f) {
         f.StorePair(0x123, 0xABC);
         f.StorePair(0x456, 0x789);
         f.WantPair(0x123, 0xABC);
         f.WantPair(0xFFE, 0x001);
       },
       Cat({Pair(0x048, 0x123, 0xABC, "ADDRESS_VALUE"), Pair(0x04B, 0xFFE, 0x001, "ADDRESS_VALUE")})},
  };
  TraceCapture trace(0);  // the conflict case prints its line
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.setup(*this);
    std::vector<Entry> expected = c.expected;
    expected.push_back(kLock);
    EXPECT_EQ(Build(), expected);
    EXPECT_TRUE(engine.list_fits());
  }
}

TEST_F(WriteListFixture, PairEncodingMatchesTheMemoryMap) {
  // Register 0x123, value 0xABC is stored as 0x23, 0xC1, 0xAB.
  WantPair(0x123, 0xABC);
  EXPECT_EQ(Build(), Cat({{{0x042, 0x23, "ADDRESS_VALUE"},
                           {0x043, 0xC1, "ADDRESS_VALUE"},
                           {0x044, 0xAB, "ADDRESS_VALUE"}},
                          {kLock}}));
  EXPECT_EQ(engine.m_nNextPairAddress, 0x045);
}

TEST_F(WriteListFixture, ConflictIsPrintedAlwaysAndMarked) {
  TraceCapture trace(0);
  image[0x003] = 0x02;
  Want8("OTP_CONFIG3", 0x01);
  image[0x010] = 0x80;
  Want8("USB_ATTRIBUTES", 0xA0);  // the rest of the list goes on
  image[0x004] = 0x01;
  EXPECT_EQ(Build(), (std::vector<Entry>{{0x010, 0xA0, "USB_ATTRIBUTES"}, kLock}));
  EXPECT_EQ(engine.m_recConfig3.err, 1);
  EXPECT_EQ(trace.Text(), "Conflict in the OTP_CONFIG3 field. Device = 0x02.   XML = 0x01.\n");
}

TEST_F(WriteListFixture, ValidFlagsEntryOnlyForGroupsTheChipLacks) {
  struct Row {
    uint8_t chip_flags;
    bool usb, strings, line;
    int expected;  // the flags byte queued, or -1 for none
  };
  const Row rows[] = {
      {0x00, true, true, false, 0x03},
      {0x00, true, true, true, 0x07},
      {0x01, true, false, false, -1},  // USB already valid, only USB asked for
      {0x01, true, true, false, 0x03},  // holds only the groups asked for
      {0x07, true, true, true, -1},
      {0x00, false, false, false, -1},
      {0x06, false, false, true, -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "chip 0x" << std::hex << int(r.chip_flags) << " usb "
                                    << r.usb << " strings " << r.strings << " line " << r.line);
    SetUp();
    image[0x004] = r.chip_flags;
    engine.eval_all_otp(image);
    engine.m_bXmlUsbValid = r.usb;
    engine.m_bXmlStringsValid = r.strings;
    engine.m_bXmlLineValid = r.line;
    engine.m_nWriteCount = 0;
    engine.try_write_flags();
    if (r.expected < 0) {
      EXPECT_EQ(engine.m_nWriteCount, 0u);
    } else {
      ASSERT_EQ(engine.m_nWriteCount, 1u);
      EXPECT_EQ(List()[0], (Entry{0x004, static_cast<unsigned>(r.expected), "Valid Flags"}));
    }
  }
}

TEST_F(WriteListFixture, MissingFieldsOfAGroupThatIsSetForTheFirstTime) {
  // USB values without USB_MAXPOWER, strings with two of the three.
  Want16("USB_VENDOR_ID", 0x1234);
  Want16("USB_PRODUCT_ID", 0x5678);
  Want8("USB_ATTRIBUTES", 0x80);
  WantString("MANUFACTURER_STRING", "AB");
  WantString("PRODUCT_STRING", "CD");
  engine.eval_all_otp(image);
  {
    TraceCapture trace(0);
    EXPECT_EQ(engine.check_flags(0), 2);
    EXPECT_EQ(trace.Text(),
              "ERROR - Missing USB_MAXPOWER field from XML file.  USB Valid Flag is set.\n"
              "ERROR - Missing SERIAL_NUMBER_STRING field from XML file.  Strings Flag is set.\n");
  }
  {
    TraceCapture trace(1);
    EXPECT_EQ(engine.check_flags(1), 0);
    EXPECT_EQ(trace.Text(),
              "Ignoring missing USB_MAXPOWER field due to force flag.  USB Valid Flag is set.\n"
              "Ignoring missing SERIAL_NUMBER_STRING field due to force flag.  Strings Flag is "
              "set.\n");
  }
  {
    TraceCapture trace(0);  // the force line is a level-0 trace line
    EXPECT_EQ(engine.check_flags(1), 0);
    EXPECT_EQ(trace.Text(), "");
  }
  // A chip whose groups are valid already misses nothing.
  image[0x004] = 0x03;
  engine.eval_all_otp(image);
  TraceCapture trace(0);
  EXPECT_EQ(engine.check_flags(0), 0);
  EXPECT_EQ(trace.Text(), "");
}

TEST_F(WriteListFixture, MissingFieldsDoNotChangeTheList) {
  Want16("USB_VENDOR_ID", 0x1234);
  engine.eval_all_otp(image);
  {
    TraceCapture trace(0);
    EXPECT_EQ(engine.check_flags(0), 3);
  }
  EXPECT_EQ(Build(), (std::vector<Entry>{{0x00C, 0x34, "USB_VENDOR_ID"},
                                         {0x00D, 0x12, "USB_VENDOR_ID"},
                                         {0x004, 0x01, "Valid Flags"},
                                         kLock}));
}

TEST_F(WriteListFixture, ListOrderAndPairSlotsFollowTheTable) {
  // Chip: one stored pair, attributes 0xA0 and a manufacturer string "AC".
  StorePair(0xC06, 0x001);
  image[0x010] = 0xA0;
  StoreString(0x012, "AC");
  Want8("OTP_CONFIG0", 0x02);
  Want16("USB_VENDOR_ID", 0x1234);
  Want8("USB_ATTRIBUTES", 0x80);  // incompatible: override pair
  Want8("USB_MAXPOWER", 0x32);
  WantPair(0x123, 0x456);
  WantString("MANUFACTURER_STRING", "AB");  // incompatible: three override pairs
  WantString("PRODUCT_STRING", "P");
  WantLine({0x80, 0x25, 0, 0, 0, 0, 8});
  WantGen("GPIO_MODE", 0x05);
  WantGen("FLOW_CONTROL", 0x12);
  const std::vector<Entry> expected = Cat({
      {{0x000, 0x02, "OTP_CONFIG0"},
       {0x00C, 0x34, "USB_VENDOR_ID"},
       {0x00D, 0x12, "USB_VENDOR_ID"},
       {0x011, 0x32, "USB_MAXPOWER"}},
      Pair(0x045, 0x123, 0x456, "ADDRESS_VALUE"),  // after the stored pair at 0x042
      {{0x022, 0x50, "PRODUCT_STRING"}, {0x023, 0x00, "PRODUCT_STRING"}},
      {{0x005, 0x80, "LINE_CODING"},
       {0x006, 0x25, "LINE_CODING"},
       {0x007, 0x00, "LINE_CODING"},
       {0x008, 0x00, "LINE_CODING"},
       {0x009, 0x00, "LINE_CODING"},
       {0x00A, 0x00, "LINE_CODING"},
       {0x00B, 0x08, "LINE_CODING"}},
      Pair(0x048, 0xC0C, 0x005, "GPIO_MODE"),
      Pair(0x04B, 0xC06, 0x012, "FLOW_CONTROL"),
      Pair(0x04E, 0x22B, 0x080, "USB_ATTRIBUTES"),
      Pair(0x051, 0x22D, 0x041, "MANUFACTURER_STRING"),
      Pair(0x054, 0x22E, 0x042, "MANUFACTURER_STRING"),
      Pair(0x057, 0x22F, 0x000, "MANUFACTURER_STRING"),
      {{0x004, 0x07, "Valid Flags"}, kLock},
  });
  EXPECT_EQ(Build(), expected);
  EXPECT_EQ(engine.m_nOverrideCount, 4u);
  EXPECT_EQ(engine.m_nPairsQueued, 7u);
}

TEST_F(WriteListFixture, TraceLinesAppearAtTheirLevel) {
  image[0x010] = 0xA0;
  Want8("USB_ATTRIBUTES", 0x80);
  Want16("USB_VENDOR_ID", 0x1234);
  WantString("PRODUCT_STRING", "P");
  WantGen("GPIO_MODE", 0x00);
  WantPair(0x123, 0x456);
  TraceCapture trace(1);
  Build();
  const std::string text = trace.Text();
  for (const char* line : {
           "Skipping OTP_CONFIG0.  Not requested in XML file.\n",
           "Queueing USB_VENDOR_ID.  Device = 0x00.  XML = 0x1234.\n",
           "Overriding the USB_ATTRIBUTES field with 0x80.\n",
           "Queueing ADDRESS_VALUE.  Address = 0x123.  Value = 0x456.\n",
           "Queueing P in the PRODUCT_STRING strings field.\n",
           "Skipping LINE_CODING.  Not requested in XML file.\n",
           "Skipping GPIO_MODE.  XML matches the device.  Value = 0.\n",
           "Queueing Valid Flags 0x03.\n",
           "Writing the Lock Bit.\n",
       })
    EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
  // Nothing but the always-printed lines at level 0.
  TraceCapture quiet(0);
  SetUp();
  Want8("USB_MAXPOWER", 0x32);
  Build();
  EXPECT_EQ(quiet.Text(), "");
}

TEST_F(WriteListFixture, PrintedListHasTheListFormat) {
  Want8("OTP_CONFIG0", 0x02);
  Build();
  TraceCapture trace(0);
  engine.print_otp_write_list();
  EXPECT_EQ(trace.Text(),
            "OTP Write List.  2 entries.\n"
            "Will write 0x02 at 0x000.  OTP_CONFIG0\n"
            "Will write 0x40 at 0x003.  Lock Device\n");
}

TEST_F(WriteListFixture, PairsPastTheAreaAreCountedNotQueued) {
  // 146 stored pairs leave two slots, at 0x1F8 and 0x1FB.
  for (unsigned i = 0; i < 146; ++i) StorePair(0x300 + i, i);
  WantGen("GPIO_DIRECTION", 1);
  WantGen("GPIO_INT_MASK", 2);
  WantGen("GPIO_MODE", 3);
  WantGen("GPIO_SET", 4);
  const std::vector<Entry> list = Build();
  EXPECT_EQ(list, Cat({Pair(0x1F8, 0xC0D, 1, "GPIO_DIRECTION"), Pair(0x1FB, 0xC11, 2, "GPIO_INT_MASK"),
                       {kLock}}));
  EXPECT_FALSE(engine.list_fits());
  EXPECT_EQ(engine.m_nPairOverflow, 2u);
  char text[256];
  engine.describe_shortfall(text, sizeof text);
  EXPECT_STREQ(text, "2 address/value pairs too many (4 needed, 2 free)");

  // A chip whose pair area is full takes no pair at all.
  SetUp();
  for (unsigned i = 0; i < kMaxPairs; ++i) StorePair(0x300 + i, i);
  WantPair(0x123, 0x456);
  EXPECT_EQ(Build(), std::vector<Entry>{kLock});
  EXPECT_EQ(engine.m_nPairOverflow, 1u);
  engine.describe_shortfall(text, sizeof text);
  EXPECT_STREQ(text, "1 address/value pairs too many (1 needed, 0 free)");
}

TEST_F(WriteListFixture, ListsNeverGrowPastTheirArrays) {
  engine.m_nWriteCount = 0;
  for (unsigned i = 0; i < kListCapacity + 5; ++i) engine.append_write(0x010, 1, "X");
  EXPECT_EQ(engine.m_nWriteCount, kListCapacity);
  EXPECT_EQ(engine.m_nWriteOverflow, 5u);

  std::vector<uint8_t> bytes(kListCapacity + 3, 0x11);
  engine.add_write_list_override(0x300, bytes.data(), static_cast<uint32_t>(bytes.size()), "Y");
  EXPECT_EQ(engine.m_nOverrideCount, kListCapacity);
  EXPECT_EQ(engine.m_nOverrideOverflow, 3u);
  EXPECT_FALSE(engine.list_fits());
  char text[256];
  engine.describe_shortfall(text, sizeof text);
  EXPECT_STREQ(text,
               "5 write-list entries too many (517 needed, 512 possible); 3 override entries too "
               "many (515 needed, 512 possible)");
}

}  // namespace
}  // namespace qt70
