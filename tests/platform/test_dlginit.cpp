// The dialog-init data: the resource fills the four lists in order; broken
// data is refused with a clear error and never read past its end.
#include <QComboBox>

#include "platform_test.h"
#include "res/dialog_template.h"

namespace qt70::test {
namespace {

std::vector<std::string> Entries(const CComboBox* combo) {
  std::vector<std::string> out;
  for (int i = 0; i < combo->count(); ++i) out.push_back(combo->itemText(i).toStdString());
  return out;
}

// One record as the resource holds it.
std::vector<uint8_t> Record(uint16_t id, const std::string& text, uint16_t message = 0x0403) {
  const uint32_t n = static_cast<uint32_t>(text.size() + 1);
  std::vector<uint8_t> r{static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                         static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                         static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                         static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
  for (char c : text) r.push_back(static_cast<uint8_t>(c));
  r.push_back(0);
  return r;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts)
    for (uint8_t b : p) out.push_back(b);
  return out;
}

const std::vector<uint8_t> kEnd{0, 0};

TEST(DlgInitParse, TheMainDialogResourceListsTheEntriesInOrder) {
  const auto parse = ParseDlgInit(res::FindDialogInit(IDD_TANDOOTP_DIALOG));
  ASSERT_TRUE(parse.ok) << parse.error;
  std::vector<std::pair<int, std::string>> got;
  for (const auto& r : parse.records) {
    EXPECT_EQ(r.message, 0x0403u);
    got.emplace_back(r.id, r.text);
  }
  const std::vector<std::pair<int, std::string>> want{
      {1023, "1"},     {1023, "2"},      {1024, "None"},   {1024, "Even"},  {1024, "Odd"},
      {1024, "Space"}, {1024, "Mark"},   {1025, "7"},      {1025, "8"},     {1025, "9"},
      {1031, "6 MHz"}, {1031, "12 MHz"}, {1031, "24 MHz"}, {1031, "48 MHz"}};
  EXPECT_EQ(got, want);
  EXPECT_TRUE(res::FindDialogInit(IDD_ABOUTBOX).empty());
}

TEST(DlgInitParse, MalformedDataIsRefused) {
  const auto good = Concat({Record(1023, "1"), Record(1024, "None"), kEnd});
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    const char* mentions;
  };
  std::vector<uint8_t> longText = Concat({Record(1023, "1"), kEnd});
  longText[4] = 0x40;  // text length 64 in 4 bytes of data
  std::vector<uint8_t> hugeText = Concat({Record(1023, "1"), kEnd});
  hugeText[7] = 0xFF;  // a length near 4 GiB must not wrap around
  std::vector<uint8_t> unterminated = Record(1023, "12");
  unterminated[4] = 2;  // length 2 covers "12" but not the zero
  unterminated.push_back(0);
  unterminated.push_back(0);
  std::vector<uint8_t> zeroLength = Concat({Record(1023, ""), kEnd});
  zeroLength[4] = 0;
  const std::vector<Case> cases{
      {"no end marker", std::vector<uint8_t>(good.begin(), good.end() - 2), "terminating zero control id"},
      {"half an end marker", std::vector<uint8_t>(good.begin(), good.end() - 1), "terminating zero control id"},
      {"header cut", std::vector<uint8_t>(good.begin(), good.begin() + 14), "header needs 8 bytes, 4 are left"},
      {"text cut", std::vector<uint8_t>(good.begin(), good.begin() + 20), "runs past the end"},
      {"length past the end", longText, "text of 64 bytes runs past the end of the data (4 bytes left)"},
      {"huge length", hugeText, "runs past the end"},
      {"text without its zero", unterminated, "not zero-terminated"},
      {"zero length", zeroLength, "text length 0"},
      {"other message", Concat({Record(1023, "1", 0x0401), kEnd}), "message 0x0401"},
      {"empty data", {}, "terminating zero control id"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parse = ParseDlgInit(c.data);
    EXPECT_FALSE(parse.ok);
    EXPECT_TRUE(parse.records.empty());
    EXPECT_NE(parse.error.find(c.mentions), std::string::npos) << parse.error;
    EXPECT_NE(parse.error.find("record"), std::string::npos) << parse.error;
  }
  // A text with a zero inside keeps the characters before it.
  const auto inner = ParseDlgInit(Concat({Record(1023, std::string("ab\0c", 4)), kEnd}));
  ASSERT_TRUE(inner.ok);
  EXPECT_EQ(inner.records[0].text, "ab");
}

class DlgInitDialog : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
};

TEST_F(DlgInitDialog, CreationFillsTheFourListsInOrderWithoutSelecting) {
  MainTemplateDialog dlg;
  dlg.m_nCharFormat = dlg.m_nParity = dlg.m_nDataBits = dlg.m_nCoreClock = -1;
  dlg.Create();
  EXPECT_EQ(Entries(dlg.GetComboBox(1023)), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Entries(dlg.GetComboBox(1024)),
            (std::vector<std::string>{"None", "Even", "Odd", "Space", "Mark"}));
  EXPECT_EQ(Entries(dlg.GetComboBox(1025)), (std::vector<std::string>{"7", "8", "9"}));
  EXPECT_EQ(Entries(dlg.GetComboBox(1031)),
            (std::vector<std::string>{"6 MHz", "12 MHz", "24 MHz", "48 MHz"}));
  EXPECT_EQ(dlg.GetComboBox(1000)->count(), 0);
  for (int id : {1023, 1024, 1025, 1031}) EXPECT_EQ(dlg.GetCurSel(id), -1) << id;
}

TEST_F(DlgInitDialog, BrokenDataAddsNothing) {
  MainTemplateDialog dlg;
  dlg.Create();
  const int before = dlg.GetComboBox(1023)->count();
  // The first record is good, the second is cut: nothing at all is added.
  auto data = Concat({Record(1023, "3"), Record(1024, "Twice")});
  data.resize(data.size() - 3);
  EXPECT_THROW(dlg.ExecuteDlgInit(data), ResourceError);
  EXPECT_EQ(dlg.GetComboBox(1023)->count(), before);
  // A record for a control that is no combo box is refused as well.
  try {
    dlg.ExecuteDlgInit(Concat({Record(1023, "3"), Record(1001, "x"), kEnd}));
    ADD_FAILURE() << "no error";
  } catch (const ResourceError& e) {
    EXPECT_NE(std::string(e.what()).find("control 1001, which is no combo box"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(dlg.GetComboBox(1023)->count(), before);
}

}  // namespace
}  // namespace qt70::test
