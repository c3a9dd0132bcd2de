// A small dialog framework on Qt Widgets: a modal dialog built from a
// template of res/ (controls with ids, kinds, captions, styles and
// rectangles in dialog units), control access by id, command routing with
// the dialog manager's keyboard rules, data exchange (data_exchange.h), a
// system menu stand-in, device notifications delivered on the window thread
// and a screenshot of the started dialog.
//
// Lifecycle of a dialog object:
//   CDialog dlg(templateId);   // nothing is built yet
//   dlg.DoModal();             // Create(): widgets from the template, then
//                              // OnInitDialog(); then the modal loop until
//                              // EndDialog(); returns its result
// Create() may be called alone (tests): the dialog then exists, initialised,
// without running its loop. A derived dialog overrides OnInitDialog (calling
// CDialog::OnInitDialog first), DoDataExchange, OnCommand, OnSysCommand and
// OnDeviceChange; everything runs on the window thread.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/operator.h"  // MB_ styles, IDYES, IDNO
#include "res/dialog_template.h"
#include "res/resource.h"  // IDOK, IDCANCEL, IDM_ABOUTBOX

class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

namespace qt70 {

class CDataExchange;

// Notification codes of commands from controls.
enum : unsigned { BN_CLICKED = 0, CBN_SELCHANGE = 1 };
// The system command of the close box.
enum : unsigned { SC_CLOSE = 0xF060 };
// System menu item kinds.
enum : unsigned { MF_STRING = 0x0000, MF_SEPARATOR = 0x0800 };

// A resource that is missing or malformed (a build defect): no template with
// the id, a picture that is not there, dialog-init data that cannot be parsed.
class ResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A single-line edit. Read-only keeps it enabled and its text selectable.
// The typing limit stops the operator from adding characters past it, but
// never cuts text that is already longer (set by code): that text stays as
// it is, and the data exchange reports it. Put text in with SetWindowText
// (or the dialog's SetDlgItemText): QLineEdit::setText cuts at maxLength.
class CEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CEdit(QWidget* parent = nullptr);
  void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }
  // 0: no limit.
  void SetLimitText(int chars);
  int GetLimitText() const { return m_limit; }
  // Sets the text in full, whatever the limit.
  void SetWindowText(const QString& text);

 private:
  void ApplyLimit();
  int m_limit = 0;
};

// A drop-down list or an editable drop-down combo box. The selection can be
// -1 (none): adding entries never selects one by itself. A sorted box keeps
// its entries in case-insensitive string order (COM10 before COM2).
class CComboBox : public QComboBox {
  Q_OBJECT

 public:
  CComboBox(QWidget* parent, bool editable, bool sorted);
  bool IsSorted() const { return m_sorted; }

  // Adds an entry, at its place in a sorted box, else at the end; returns
  // its index.
  int AddString(const QString& text);
  // Removes an entry; returns the number left, or -1 for a bad index. When
  // the selected entry goes, nothing is selected.
  int DeleteString(int index);
  void ResetContent();
  int GetCount() const { return count(); }
  int GetCurSel() const { return currentIndex(); }
  // Selects an entry; -1 or an index out of range clears the selection
  // (and returns -1).
  int SetCurSel(int index);
  QString GetLBText(int index) const { return itemText(index); }
  // Index of the entry equal to text, case-insensitively; -1 when none.
  int FindStringExact(const QString& text) const;

 private:
  bool m_sorted;
};

// The stand-in for the window's system menu (Qt cannot reach the window
// manager's): it opens as the dialog's context menu, starts with the Close
// item, and its items reach OnSysCommand.
class CSystemMenu {
 public:
  struct Item {
    unsigned flags;
    unsigned id;
    std::string text;  // 8-bit, '&' marks the accelerator
  };
  CSystemMenu();
  void AppendMenu(unsigned flags, unsigned id = 0, std::string_view text = {});
  const std::vector<Item>& Items() const { return m_items; }
  bool HasItem(unsigned id) const;
  void Reset();

 private:
  std::vector<Item> m_items;
};

// The data of a device notification: the device type and, for a port, its
// name (COM5, or whatever name the port monitor reports).
struct DeviceBroadcast {
  unsigned deviceType;
  std::string name;
};

// Delivers one device notification (event code, device type, port name).
using DeviceChangeSink =
    std::function<void(unsigned event, unsigned deviceType, const std::string& name)>;

class CDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CDialog(int templateId, QWidget* parent = nullptr);
  ~CDialog() override;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // --- Lifecycle ---------------------------------------------------------
  // Creates the dialog when it is not yet created, then runs it modally
  // until EndDialog; returns the EndDialog result (IDOK, IDCANCEL, ...).
  // An EndDialog during OnInitDialog returns at once.
  int DoModal();
  // Builds the widgets from the template and runs OnInitDialog (once; a
  // second call does nothing). Throws ResourceError for a missing or
  // malformed resource.
  void Create();
  bool IsCreated() const { return m_created; }
  // Ends the modal loop (or a loop still to come) with this result.
  void EndDialog(int result);
  int GetResult() const { return m_result; }

  // Called when the window is created, before it is shown. The base fills
  // the combo boxes from the dialog-init resource and shows the members in
  // the controls (UpdateData(FALSE)). Returns true to give the focus to the
  // first tab stop.
  virtual bool OnInitDialog();

  // --- Data exchange -----------------------------------------------------
  // true: takes the controls into the members, checking the limits; a
  // failed exchange shows its message, focuses its control, stops the
  // transfer there and makes this return false. false: shows the members.
  bool UpdateData(bool bSaveAndValidate = true);
  // Exchanges the members with the controls (data_exchange.h).
  virtual void DoDataExchange(CDataExchange* pDX);

  // --- Commands ----------------------------------------------------------
  // A command from a control (BN_CLICKED from a button or check box,
  // CBN_SELCHANGE from a combo box the operator chose in) or from the
  // keyboard (Enter: the default id, IDOK unless a default push button says
  // otherwise; Escape and the close box: IDCANCEL). Returns true when
  // handled. The base sends IDOK to OnOK and IDCANCEL to OnCancel.
  virtual bool OnCommand(int id, unsigned code);
  // Takes the controls into the members; ends the dialog with IDOK when
  // that succeeds.
  virtual void OnOK();
  // Ends the dialog with IDCANCEL, without a transfer.
  virtual void OnCancel();
  // A system-menu command (the context menu's items; F1 gives IDM_ABOUTBOX
  // when the menu has that item). The base handles SC_CLOSE as IDCANCEL.
  virtual void OnSysCommand(unsigned nID, long lParam);
  // A device notification; data is the notification's record. Returns 0.
  virtual long OnDeviceChange(unsigned event, const DeviceBroadcast* data);

  void SendCommand(int id, unsigned code = BN_CLICKED) { OnCommand(id, code); }
  void SendSysCommand(unsigned nID, long lParam = 0) { OnSysCommand(nID, lParam); }
  // The id that Enter sends; IDOK unless the template or SetDefID gives one.
  int GetDefID() const { return m_defId; }
  void SetDefID(int id) { m_defId = id; }

  // --- Template and geometry ---------------------------------------------
  int TemplateId() const { return m_templateId; }
  const res::DialogTemplate& Template() const { return *m_template; }
  // Dialog base units: from the average character width and the height of
  // the dialog font, as the dialog manager takes them.
  struct BaseUnits {
    int x, y;
  };
  static BaseUnits BaseUnitsOf(const QFont& font);
  BaseUnits GetDialogBaseUnits() const { return m_units; }
  // Dialog units to pixels: x*baseX/4 and y*baseY/8, rounded to the nearest
  // pixel (halves away from zero).
  static QRect MapDialogRect(const QRect& dialogUnits, BaseUnits units);
  QRect MapDialogRect(const QRect& dialogUnits) const { return MapDialogRect(dialogUnits, m_units); }

  // --- Controls ----------------------------------------------------------
  struct Control {
    const res::DialogItemTemplate* item;
    QWidget* widget;
  };
  // Every control, in template order. Empty before Create().
  const std::vector<Control>& Controls() const { return m_controls; }
  // The control with this id; null for -1 or an unknown id.
  QWidget* GetDlgItem(int id) const;
  // The same, of a given kind; these throw std::logic_error when the id
  // names no control of that kind (a programming error).
  CEdit* GetEdit(int id) const;
  CComboBox* GetComboBox(int id) const;
  QCheckBox* GetCheckBox(int id) const;
  QPushButton* GetButton(int id) const;
  QLabel* GetStatic(int id) const;
  // The id of a control, or of the control that a widget belongs to (the
  // edit inside an editable combo box); 0 for none.
  int GetDlgCtrlID(const QWidget* widget) const;

  // 8-bit text of a control: edits, editable combo boxes, statics, buttons,
  // check boxes and group boxes.
  void SetDlgItemText(int id, std::string_view text);
  std::string GetDlgItemText(int id) const;
  void ShowDlgItem(int id, bool show);
  void EnableDlgItem(int id, bool enable);
  // Makes an edit read-only (still enabled and selectable) or writable.
  void SetReadOnly(int id, bool readOnly);
  void SetCurSel(int id, int index);
  int GetCurSel(int id) const;
  void CheckDlgButton(int id, int check);
  int IsDlgButtonChecked(int id) const;
  // Moves the keyboard focus to a control.
  void SetFocus(int id);
  // The id of the control that has (or gets, when the window is activated)
  // the focus; 0 for none.
  int GetFocusId() const;

  // Fills combo boxes from dialog-init records. Parses all the data first:
  // malformed data, or a record for a control that is no combo box, throws
  // ResourceError and adds nothing.
  void ExecuteDlgInit(std::span<const uint8_t> data);

  // --- Operator ----------------------------------------------------------
  // A modal box owned by this dialog (message_box.h).
  int MessageBox(std::string_view text, std::string_view caption, unsigned style = MB_OK);
  // GetSystemMenu(false): the menu to append to. GetSystemMenu(true) puts
  // the standard menu back and returns null.
  CSystemMenu* GetSystemMenu(bool bRevert);
  // The context menu as it would open (the caller owns it); each action's
  // data() holds its system command id.
  QMenu* CreateSystemMenu(QWidget* parent) const;
  void SetIcon(const QIcon& icon, bool bigIcon);
  bool IsIconic() const { return isMinimized(); }

  // --- Device notifications ----------------------------------------------
  // A sink that any thread may call (a port monitor thread, a socket
  // notifier): each call is queued to the window thread and delivered to
  // OnDeviceChange there, also while a modal box runs its nested loop.
  // Calls after the dialog is gone are dropped.
  DeviceChangeSink DeviceChangePoster();
  // Delivers a notification at once (window thread only).
  long SendDeviceChange(unsigned event, unsigned deviceType, const std::string& name);

  // --- Screenshot ----------------------------------------------------------
  // Renders the dialog as it is into a PNG file.
  bool SaveScreenshot(const std::string& path, std::string* error) const;
  // DoModal then saves the started dialog to path as soon as its loop runs
  // and ends it with IDCANCEL; StartupScreenshotSaved tells how it went.
  void SetStartupScreenshot(std::string path) { m_screenshotPath = std::move(path); }
  bool StartupScreenshotSaved(std::string* error) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void BuildFromTemplate();
  QWidget* CreateControl(const res::DialogItemTemplate& item);
  template <class T>
  T* Typed(int id, const char* kind) const;

  int m_templateId;
  const res::DialogTemplate* m_template;
  BaseUnits m_units{0, 0};
  bool m_created = false;
  bool m_ended = false;
  int m_result = 0;
  int m_defId = IDOK;
  bool m_defFromTemplate = false;
  std::vector<Control> m_controls;
  std::map<int, QWidget*> m_byId;
  CSystemMenu m_sysMenu;
  std::string m_screenshotPath;
  bool m_screenshotSaved = false;
  std::string m_screenshotError;
};

// A message map for a derived dialog's OnCommand:
//   static const CommandEntry<CMyDlg> kMap[] = {
//       {BN_CLICKED, IDC_BUTTON_PROGRAM, &CMyDlg::OnBnClickedButtonProgram}, ...};
//   bool CMyDlg::OnCommand(int id, unsigned code) {
//     return DispatchCommand(*this, kMap, id, code) || CDialog::OnCommand(id, code);
//   }
template <class T>
struct CommandEntry {
  unsigned code;
  int id;
  void (T::*handler)();
};

template <class T, size_t N>
bool DispatchCommand(T& dialog, const CommandEntry<T> (&map)[N], int id, unsigned code) {
  for (const auto& entry : map) {
    if (entry.id == id && entry.code == code) {
      (dialog.*entry.handler)();
      return true;
    }
  }
  return false;
}

}  // namespace qt70
