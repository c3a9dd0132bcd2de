#include "platform/data_exchange.h"

#include <QCheckBox>
#include <QString>
#include <limits>

#include "platform/dialog.h"
#include "platform/message_box.h"
#include "platform/text.h"

namespace qt70 {
namespace {

// Fills %1 and %2 of one of the framework's messages.
std::string Format(const char* pattern, const std::string& a1, const std::string& a2 = {}) {
  std::string out;
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
      out += p[1] == '1' ? a1 : a2;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// Shows a failed exchange's message and stops the transfer.
[[noreturn]] void Reject(CDataExchange* pDX, const std::string& message) {
  ShowMessageBox(pDX->m_pDlgWnd, message, AppName(), MB_OK | MB_ICONEXCLAMATION);
  pDX->Fail();
}

std::string NoControl(CDataExchange* pDX, int id, const char* kind) {
  return "data exchange: dialog " + std::to_string(pDX->m_pDlgWnd->TemplateId()) + " has no " +
         kind + " with id " + std::to_string(id);
}

// Selects the entry a text names: equal (case-insensitively), else the first
// that begins with it; -1 for none or for an empty text.
int FindEntry(const CComboBox* combo, const QString& text) {
  if (text.isEmpty()) return -1;
  const int exact = combo->FindStringExact(text);
  if (exact >= 0) return exact;
  for (int i = 0; i < combo->count(); ++i)
    if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) return i;
  return -1;
}

}  // namespace

QWidget* CDataExchange::PrepareCtrl(int id) {
  QWidget* control = m_pDlgWnd->GetDlgItem(id);
  if (!control) throw std::logic_error(NoControl(this, id, "control"));
  m_idLastControl = id;
  m_bEditLastControl = false;
  return control;
}

CEdit* CDataExchange::PrepareEditCtrl(int id) {
  QWidget* control = PrepareCtrl(id);
  CEdit* edit = qobject_cast<CEdit*>(control);
  if (!edit) {
    if (auto* combo = qobject_cast<CComboBox*>(control); combo && combo->isEditable())
      edit = static_cast<CEdit*>(combo->lineEdit());
  }
  if (!edit) throw std::logic_error(NoControl(this, id, "edit"));
  m_bEditLastControl = true;
  return edit;
}

void CDataExchange::Fail() {
  if (m_idLastControl != 0) {
    m_pDlgWnd->SetFocus(m_idLastControl);
    if (m_bEditLastControl) {
      QWidget* control = m_pDlgWnd->GetDlgItem(m_idLastControl);
      if (auto* edit = qobject_cast<CEdit*>(control)) edit->selectAll();
      else if (auto* combo = qobject_cast<CComboBox*>(control); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
    }
  }
  throw DataExchangeFailure{};
}

bool ParseUnsignedDecimal(std::string_view text, uint32_t* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  const size_t digits = i;
  uint64_t n = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    n = n * 10 + static_cast<uint64_t>(text[i] - '0');
    if (n > std::numeric_limits<uint32_t>::max()) return false;
    ++i;
  }
  if (i == digits) return false;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i != text.size()) return false;
  *value = static_cast<uint32_t>(n);
  return true;
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
  CEdit* edit = pDX->PrepareEditCtrl(id);
  if (pDX->m_bSaveAndValidate) value = ToAnsi(edit->text());
  else edit->SetWindowText(FromAnsi(value));
}

void DDX_Text(CDataExchange* pDX, int id, uint32_t& value) {
  CEdit* edit = pDX->PrepareEditCtrl(id);
  if (pDX->m_bSaveAndValidate) {
    uint32_t parsed = 0;
    if (!ParseUnsignedDecimal(ToAnsi(edit->text()), &parsed)) Reject(pDX, kMsgNotUnsigned);
    value = parsed;
  } else {
    edit->SetWindowText(QString::number(value));
  }
}

void DDX_CBString(CDataExchange* pDX, int id, std::string& value) {
  auto* combo = qobject_cast<CComboBox*>(pDX->PrepareCtrl(id));
  if (!combo) throw std::logic_error(NoControl(pDX, id, "combo box"));
  if (pDX->m_bSaveAndValidate) {
    if (combo->isEditable()) value = ToAnsi(combo->currentText());
    else value = combo->currentIndex() >= 0 ? ToAnsi(combo->itemText(combo->currentIndex())) : "";
    return;
  }
  const QString text = FromAnsi(value);
  const int entry = FindEntry(combo, text);
  combo->SetCurSel(entry);
  if (combo->isEditable() && entry < 0) static_cast<CEdit*>(combo->lineEdit())->SetWindowText(text);
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index) {
  auto* combo = qobject_cast<CComboBox*>(pDX->PrepareCtrl(id));
  if (!combo) throw std::logic_error(NoControl(pDX, id, "combo box"));
  if (pDX->m_bSaveAndValidate) index = combo->GetCurSel();
  else combo->SetCurSel(index);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  auto* check = qobject_cast<QCheckBox*>(pDX->PrepareCtrl(id));
  if (!check) throw std::logic_error(NoControl(pDX, id, "check box"));
  if (pDX->m_bSaveAndValidate) value = check->isChecked() ? 1 : 0;
  else check->setChecked(value != 0);
}

void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars) {
  if (!pDX->m_bSaveAndValidate) {
    if (pDX->m_bEditLastControl) {
      QWidget* control = pDX->m_pDlgWnd->GetDlgItem(pDX->m_idLastControl);
      CEdit* edit = qobject_cast<CEdit*>(control);
      if (!edit)
        if (auto* combo = qobject_cast<CComboBox*>(control)) edit = static_cast<CEdit*>(combo->lineEdit());
      if (edit) edit->SetLimitText(nChars);
    }
    return;
  }
  if (value.size() > static_cast<size_t>(nChars))
    Reject(pDX, Format(kMsgTooLong, std::to_string(nChars)));
}

void DDV_MinMaxUInt(CDataExchange* pDX, uint32_t value, uint32_t minVal, uint32_t maxVal) {
  if (!pDX->m_bSaveAndValidate) return;
  if (value < minVal || value > maxVal)
    Reject(pDX, Format(kMsgOutOfRange, std::to_string(minVal), std::to_string(maxVal)));
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
  if (!pDX->m_bSaveAndValidate) return;
  if (value < minVal || value > maxVal)
    Reject(pDX, Format(kMsgOutOfRange, std::to_string(minVal), std::to_string(maxVal)));
}

}  // namespace qt70
