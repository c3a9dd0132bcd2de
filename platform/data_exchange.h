// Dialog data exchange: moving settings members to and from the controls,
// with the limits checked on the way in.
//
// A dialog's DoDataExchange calls one DDX_ function per control, each
// followed at once by its DDV_ limit:
//   void CMyDlg::DoDataExchange(CDataExchange* pDX) {
//     DDX_Text(pDX, IDC_EDIT_VENDOR_ID, m_strVendorId);
//     DDV_MaxChars(pDX, m_strVendorId, 6);
//     DDX_Text(pDX, IDC_EDIT_BAUD_RATE, m_nBaudRate);
//     DDV_MinMaxUInt(pDX, m_nBaudRate, 0, 12000000);
//   }
// Taking the controls in (UpdateData(TRUE)), the first exchange or limit
// that fails shows its message (caption: the application's name, with the
// exclamation icon), puts the focus on its control (selecting an edit's
// text) and stops the transfer: the members of the controls after it keep
// their values, and UpdateData returns false. Showing the members
// (UpdateData(FALSE)) never fails; DDV_MaxChars then sets the typing limit
// of its edit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class QWidget;

namespace qt70 {

class CDialog;
class CEdit;

// Thrown by CDataExchange::Fail, caught by CDialog::UpdateData. Not an
// std::exception, so that no handler for errors takes it by mistake.
struct DataExchangeFailure {};

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, bool saveAndValidate)
      : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

  const bool m_bSaveAndValidate;  // true: controls to members
  CDialog* const m_pDlgWnd;
  int m_idLastControl = 0;  // the control the next DDV_ applies to
  bool m_bEditLastControl = false;

  // The control with this id, remembered as the last control. An id that
  // names no control is a programming error: std::logic_error.
  QWidget* PrepareCtrl(int id);
  // The same for an edit or the edit of an editable combo box.
  CEdit* PrepareEditCtrl(int id);
  // Focuses the last control (selecting an edit's text) and stops the
  // transfer.
  [[noreturn]] void Fail();
};

// The framework's messages.
inline constexpr const char* kMsgTooLong = "Enter no more than %1 characters.";
inline constexpr const char* kMsgNotUnsigned = "Enter a positive integer.";
inline constexpr const char* kMsgOutOfRange = "Enter an integer between %1 and %2.";

// 8-bit text of an edit (or an editable combo box's edit).
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// An unsigned decimal number in an edit. Taking it in fails with "Enter a
// positive integer." unless the text is optional spaces or tabs, an optional
// '+', decimal digits, optional spaces or tabs, and the number fits 32 bits.
void DDX_Text(CDataExchange* pDX, int id, uint32_t& value);
// The text of a combo box: the selected entry's (empty for none) of a
// drop-down list, the edit's of an editable box. Showing a text selects the
// entry equal to it (case-insensitively), else the first that begins with
// it; an empty text, or a text no entry matches, leaves a drop-down list
// without a selection.
void DDX_CBString(CDataExchange* pDX, int id, std::string& value);
// The zero-based selection of a combo box, -1 for none.
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
// A check box: 1 checked, 0 not.
void DDX_Check(CDataExchange* pDX, int id, int& value);

// Taking in: at most nChars characters, else "Enter no more than %1
// characters.". Showing: sets the typing limit of the last edit.
void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars);
// Taking in: minVal <= value <= maxVal, else "Enter an integer between %1
// and %2.".
void DDV_MinMaxUInt(CDataExchange* pDX, uint32_t value, uint32_t minVal, uint32_t maxVal);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);

// The number rule of DDX_Text for unsigned numbers; false when text is none.
bool ParseUnsignedDecimal(std::string_view text, uint32_t* value);

}  // namespace qt70
