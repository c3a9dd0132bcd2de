#include "platform/dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "platform/data_exchange.h"
#include "platform/dlginit.h"
#include "platform/latin1_validator.h"
#include "platform/message_box.h"
#include "platform/resources.h"
#include "platform/text.h"

namespace qt70 {
namespace {

const char* const kIdProperty = "qt70_id";
const char* const kTextProperty = "qt70_text";  // the caption as set, before '&' processing
const char* const kNoPrefixProperty = "qt70_noprefix";  // a static that shows '&' as it is

// MulDiv-style scaling: value*mul/div rounded to the nearest integer,
// halves away from zero.
int Scale(int value, int mul, int div) {
  const long long n = static_cast<long long>(value) * mul;
  return static_cast<int>(n >= 0 ? (n + div / 2) / div : -((-n + div / 2) / div));
}

// Static text with prefix processing: "&&" shows one '&', a single '&'
// marks the next character as the accelerator and is not shown.
QString StripPrefix(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    else if (text[i] == '&') continue;
    out += text[i];
  }
  return out;
}

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%X", v);
  return b;
}

}  // namespace

// --- CEdit -----------------------------------------------------------------

CEdit::CEdit(QWidget* parent) : QLineEdit(parent) {
  setValidator(new Latin1Validator(this));
  connect(this, &QLineEdit::textChanged, this, [this] { ApplyLimit(); });
}

void CEdit::ApplyLimit() {
  // QLineEdit cuts its text to maxLength; the limit must only stop typing,
  // so it is never set below the text that is already there.
  const int limit = m_limit > 0 ? m_limit : 32767;
  setMaxLength(std::max<int>(limit, static_cast<int>(text().size())));
}

void CEdit::SetLimitText(int chars) {
  m_limit = chars > 0 ? chars : 0;
  ApplyLimit();
}

void CEdit::SetWindowText(const QString& text) {
  if (text.size() > maxLength()) setMaxLength(static_cast<int>(text.size()));
  setText(text);
  ApplyLimit();
}

// --- CComboBox ---------------------------------------------------------------

CComboBox::CComboBox(QWidget* parent, bool editable, bool sorted)
    : QComboBox(parent), m_sorted(sorted) {
  if (editable) {
    setEditable(true);
    setLineEdit(new CEdit(this));
    setInsertPolicy(QComboBox::NoInsert);
  }
}

int CComboBox::AddString(const QString& text) {
  const int selected = currentIndex();
  int at = count();
  if (m_sorted) {
    // After every entry that does not sort after it, so equal entries keep
    // the order in which they came.
    at = 0;
    while (at < count() && QString::compare(itemText(at), text, Qt::CaseInsensitive) <= 0) ++at;
  }
  insertItem(at, text);
  // QComboBox selects the first entry added to an empty box; a list box
  // keeps "no selection" until something selects.
  if (selected < 0 && currentIndex() >= 0) setCurrentIndex(-1);
  return at;
}

int CComboBox::DeleteString(int index) {
  if (index < 0 || index >= count()) return -1;
  const bool wasSelected = index == currentIndex();
  removeItem(index);
  if (wasSelected) setCurrentIndex(-1);
  return count();
}

void CComboBox::ResetContent() {
  clear();
  setCurrentIndex(-1);
}

int CComboBox::SetCurSel(int index) {
  if (index < 0 || index >= count()) {
    setCurrentIndex(-1);
    return -1;
  }
  setCurrentIndex(index);
  return index;
}

int CComboBox::FindStringExact(const QString& text) const {
  for (int i = 0; i < count(); ++i)
    if (QString::compare(itemText(i), text, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

// --- CSystemMenu -------------------------------------------------------------

CSystemMenu::CSystemMenu() { Reset(); }

void CSystemMenu::Reset() {
  m_items.clear();
  m_items.push_back({MF_STRING, SC_CLOSE, "&Close"});
}

void CSystemMenu::AppendMenu(unsigned flags, unsigned id, std::string_view text) {
  if (flags & MF_SEPARATOR) m_items.push_back({MF_SEPARATOR, 0, ""});
  else m_items.push_back({flags, id, std::string(text)});
}

bool CSystemMenu::HasItem(unsigned id) const {
  for (const auto& item : m_items)
    if (!(item.flags & MF_SEPARATOR) && item.id == id) return true;
  return false;
}

// --- CDialog: lifecycle --------------------------------------------------------

CDialog::CDialog(int templateId, QWidget* parent)
    : QDialog(parent), m_templateId(templateId), m_template(res::FindDialogTemplate(templateId)) {
  if (!m_template) throw ResourceError("no dialog template " + std::to_string(templateId));
  // A modal frame: caption and close box, no minimise, maximise or help.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

CDialog::~CDialog() = default;

void CDialog::Create() {
  if (m_created) return;
  BuildFromTemplate();
  m_created = true;
  if (OnInitDialog()) {
    // The first enabled, visible tab stop gets the focus.
    for (const auto& c : m_controls) {
      if ((c.item->style & res::WS_TABSTOP) && c.widget->isEnabled() && !c.widget->isHidden()) {
        c.widget->setFocus(Qt::OtherFocusReason);
        break;
      }
    }
  }
}

int CDialog::DoModal() {
  m_ended = false;
  m_result = 0;
  m_screenshotSaved = false;
  m_screenshotError.clear();
  if (!m_created) Create();
  if (m_ended) return m_result;
  setModal(true);
  if (!m_screenshotPath.empty()) {
    QTimer::singleShot(0, this, [this] {
      m_screenshotSaved = SaveScreenshot(m_screenshotPath, &m_screenshotError);
      EndDialog(IDCANCEL);
    });
  }
  exec();
  return m_result;
}

void CDialog::EndDialog(int result) {
  m_ended = true;
  m_result = result;
  done(result);
}

bool CDialog::OnInitDialog() {
  ExecuteDlgInit(res::FindDialogInit(m_templateId));
  UpdateData(false);
  return true;
}

// --- Template ----------------------------------------------------------------

CDialog::BaseUnits CDialog::BaseUnitsOf(const QFont& font) {
  const QFontMetrics fm(font);
  const int width = fm.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(width / 26 + 1) / 2, fm.height()};
}

QRect CDialog::MapDialogRect(const QRect& du, BaseUnits units) {
  const int left = Scale(du.x(), units.x, 4);
  const int top = Scale(du.y(), units.y, 8);
  const int right = Scale(du.x() + du.width(), units.x, 4);
  const int bottom = Scale(du.y() + du.height(), units.y, 8);
  return QRect(left, top, right - left, bottom - top);
}

void CDialog::BuildFromTemplate() {
  const auto& t = *m_template;
  QFont font(QString::fromLatin1(t.fontName), t.pointSize);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  m_units = BaseUnitsOf(this->font());
  setWindowTitle(FromAnsi(t.caption));
  setFixedSize(MapDialogRect(QRect(0, 0, t.cx, t.cy)).size());

  std::vector<QWidget*> tabStops;
  for (const auto& item : t.items) {
    QWidget* w = CreateControl(item);
    w->setProperty(kIdProperty, item.id);
    if (item.id != IDC_STATIC) w->setObjectName(QStringLiteral("control_%1").arg(item.id));
    if (item.style & res::WS_DISABLED) w->setEnabled(false);
    if (!(item.style & res::WS_VISIBLE)) w->hide();
    if (item.style & res::WS_TABSTOP) {
      w->setFocusPolicy(Qt::StrongFocus);
      tabStops.push_back(w);
    } else if (w->focusPolicy() != Qt::NoFocus) {
      w->setFocusPolicy(Qt::ClickFocus);
    }
    m_controls.push_back({&item, w});
    if (item.id != IDC_STATIC) m_byId.emplace(item.id, w);
  }
  // Tab order is template order.
  for (size_t i = 1; i < tabStops.size(); ++i) QWidget::setTabOrder(tabStops[i - 1], tabStops[i]);
  // Group boxes are frames drawn behind the controls they surround and let
  // the mouse through to them.
  for (const auto& c : m_controls)
    if (qobject_cast<QGroupBox*>(c.widget)) c.widget->lower();
}

QWidget* CDialog::CreateControl(const res::DialogItemTemplate& item) {
  const QString caption = FromAnsi(item.caption);
  const QRect rect = MapDialogRect(QRect(item.x, item.y, item.cx, item.cy));
  const auto unsupported = [&](const char* what) {
    return ResourceError("dialog " + std::to_string(m_templateId) + ", control " +
                         std::to_string(item.id) + ": " + what + " style " + Hex(item.style) +
                         " is not supported");
  };
  switch (item.cls) {
    case res::ControlClass::Edit: {
      auto* edit = new CEdit(this);
      edit->setReadOnly(item.style & res::ES_READONLY);
      edit->setFrame(item.style & res::WS_BORDER);
      edit->setGeometry(rect);
      return edit;
    }
    case res::ControlClass::ComboBox: {
      const uint32_t kind = item.style & res::CBS_TYPEMASK;
      if (kind != res::CBS_DROPDOWN && kind != res::CBS_DROPDOWNLIST)
        throw unsupported("combo box");
      auto* combo = new CComboBox(this, kind == res::CBS_DROPDOWN, item.style & res::CBS_SORT);
      // The template height includes the dropped-down list; the closed box
      // is as high as its font needs.
      const int closed = std::min(rect.height(), combo->sizeHint().height());
      combo->setGeometry(rect.x(), rect.y(), rect.width(), closed);
      const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
      combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / itemHeight));
      connect(combo, &QComboBox::activated, this,
              [this, id = item.id](int) { OnCommand(id, CBN_SELCHANGE); });
      return combo;
    }
    case res::ControlClass::Button: {
      const uint32_t kind = item.style & res::BS_TYPEMASK;
      if (kind == res::BS_PUSHBUTTON || kind == res::BS_DEFPUSHBUTTON) {
        auto* button = new QPushButton(caption, this);
        // Only a default push button looks and acts as one; Enter on another
        // focused button reaches keyPressEvent, which clicks it.
        button->setAutoDefault(kind == res::BS_DEFPUSHBUTTON);
        if (kind == res::BS_DEFPUSHBUTTON) {
          button->setDefault(true);
          // The first default push button gives the id that Enter sends.
          if (!m_defFromTemplate) m_defId = item.id;
          m_defFromTemplate = true;
        }
        button->setGeometry(rect);
        connect(button, &QPushButton::clicked, this,
                [this, id = item.id] { OnCommand(id, BN_CLICKED); });
        button->setProperty(kTextProperty, caption);
        return button;
      }
      if (kind == res::BS_AUTOCHECKBOX) {
        // The mark toggles before the command arrives.
        auto* check = new QCheckBox(caption, this);
        if (item.style & res::BS_LEFTTEXT) check->setLayoutDirection(Qt::RightToLeft);
        check->setGeometry(rect);
        connect(check, &QCheckBox::clicked, this,
                [this, id = item.id] { OnCommand(id, BN_CLICKED); });
        check->setProperty(kTextProperty, caption);
        return check;
      }
      if (kind == res::BS_GROUPBOX) {
        auto* group = new QGroupBox(caption, this);
        group->setAttribute(Qt::WA_TransparentForMouseEvents);
        group->setFocusPolicy(Qt::NoFocus);
        group->setGeometry(rect);
        group->setProperty(kTextProperty, caption);
        return group;
      }
      throw unsupported("button");
    }
    case res::ControlClass::Static: {
      const uint32_t kind = item.style & res::SS_TYPEMASK;
      auto* label = new QLabel(this);
      label->setTextFormat(Qt::PlainText);
      label->setFocusPolicy(Qt::NoFocus);
      if (kind == res::SS_LEFT) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const bool noPrefix = item.style & res::SS_NOPREFIX;
        label->setProperty(kTextProperty, caption);
        label->setProperty(kNoPrefixProperty, noPrefix);
        label->setText(noPrefix ? caption : StripPrefix(caption));
        label->setGeometry(rect);
        return label;
      }
      // A picture static takes the size of its picture at the template's
      // position.
      QPixmap picture;
      if (kind == res::SS_BITMAP) picture = LoadBitmap(item.image);
      else if (kind == res::SS_ICON) picture = LoadIcon(item.image).pixmap(32, 32);
      else throw unsupported("static");
      if (picture.isNull()) {
        delete label;
        throw ResourceError("dialog " + std::to_string(m_templateId) + ": picture resource " +
                            std::to_string(item.image) + " is missing");
      }
      label->setPixmap(picture);
      label->setGeometry(QRect(rect.topLeft(), picture.deviceIndependentSize().toSize()));
      return label;
    }
  }
  throw unsupported("control");
}

void CDialog::ExecuteDlgInit(std::span<const uint8_t> data) {
  if (data.empty()) return;
  const DlgInitParse parse = ParseDlgInit(data);
  if (!parse.ok)
    throw ResourceError("dialog " + std::to_string(m_templateId) + ": " + parse.error);
  std::vector<std::pair<CComboBox*, QString>> adds;
  for (size_t i = 0; i < parse.records.size(); ++i) {
    const auto& r = parse.records[i];
    auto* combo = qobject_cast<CComboBox*>(GetDlgItem(r.id));
    if (!combo)
      throw ResourceError("dialog " + std::to_string(m_templateId) + ": dialog-init record " +
                          std::to_string(i + 1) + " names control " + std::to_string(r.id) +
                          ", which is no combo box of the dialog");
    adds.emplace_back(combo, FromAnsi(r.text));
  }
  for (const auto& [combo, text] : adds) combo->AddString(text);
}

// --- Data exchange -------------------------------------------------------------

bool CDialog::UpdateData(bool bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (const DataExchangeFailure&) {
    return false;
  }
  return true;
}

void CDialog::DoDataExchange(CDataExchange* pDX) { (void)pDX; }

// --- Commands --------------------------------------------------------------------

bool CDialog::OnCommand(int id, unsigned code) {
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnSysCommand(unsigned nID, long lParam) {
  (void)lParam;
  if ((nID & 0xFFF0) == SC_CLOSE) SendCommand(IDCANCEL, BN_CLICKED);
}

long CDialog::OnDeviceChange(unsigned event, const DeviceBroadcast* data) {
  (void)event;
  (void)data;
  return 0;
}

void CDialog::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      if (!plain) break;
      // With a push button focused, Enter clicks it; otherwise it sends the
      // default id (IDOK), unless that names a disabled control.
      if (auto* button = qobject_cast<QPushButton*>(focusWidget());
          button && GetDlgCtrlID(button) != 0) {
        if (button->isEnabled()) button->click();
        return;
      }
      QWidget* def = GetDlgItem(m_defId);
      if (!def || def->isEnabled()) SendCommand(m_defId, BN_CLICKED);
      return;
    }
    case Qt::Key_Escape: {
      if (!plain) break;
      QWidget* cancel = GetDlgItem(IDCANCEL);
      if (!cancel || cancel->isEnabled()) SendCommand(IDCANCEL, BN_CLICKED);
      return;
    }
    case Qt::Key_F1:
      if (plain && m_sysMenu.HasItem(IDM_ABOUTBOX)) {
        SendSysCommand(IDM_ABOUTBOX);
        return;
      }
      break;
    default:
      break;
  }
  QDialog::keyPressEvent(event);
}

void CDialog::closeEvent(QCloseEvent* event) {
  // The close box is the system menu's Close: IDCANCEL, which the dialog may
  // refuse by not ending.
  event->ignore();
  SendSysCommand(SC_CLOSE);
  if (!isVisible()) event->accept();
}

void CDialog::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = CreateSystemMenu(this);
  QAction* chosen = menu->exec(event->globalPos());
  const unsigned id = chosen ? chosen->data().toUInt() : 0;
  delete menu;
  if (chosen) SendSysCommand(id);
}

// --- Controls --------------------------------------------------------------------

QWidget* CDialog::GetDlgItem(int id) const {
  if (id == IDC_STATIC) return nullptr;
  const auto it = m_byId.find(id);
  return it == m_byId.end() ? nullptr : it->second;
}

template <class T>
T* CDialog::Typed(int id, const char* kind) const {
  T* widget = qobject_cast<T*>(GetDlgItem(id));
  if (!widget)
    throw std::logic_error("dialog " + std::to_string(m_templateId) + " has no " + kind +
                           " with id " + std::to_string(id));
  return widget;
}

CEdit* CDialog::GetEdit(int id) const { return Typed<CEdit>(id, "edit"); }
CComboBox* CDialog::GetComboBox(int id) const { return Typed<CComboBox>(id, "combo box"); }
QCheckBox* CDialog::GetCheckBox(int id) const { return Typed<QCheckBox>(id, "check box"); }
QPushButton* CDialog::GetButton(int id) const { return Typed<QPushButton>(id, "push button"); }
QLabel* CDialog::GetStatic(int id) const { return Typed<QLabel>(id, "static"); }

int CDialog::GetDlgCtrlID(const QWidget* widget) const {
  for (; widget && widget != this; widget = widget->parentWidget()) {
    const QVariant id = widget->property(kIdProperty);
    if (id.isValid() && widget->parentWidget() == this) return id.toInt() == IDC_STATIC ? 0 : id.toInt();
  }
  return 0;
}

void CDialog::SetDlgItemText(int id, std::string_view text) {
  QWidget* w = GetDlgItem(id);
  const QString value = FromAnsi(text);
  if (auto* edit = qobject_cast<CEdit*>(w)) {
    edit->SetWindowText(value);
  } else if (auto* combo = qobject_cast<CComboBox*>(w); combo && combo->isEditable()) {
    static_cast<CEdit*>(combo->lineEdit())->SetWindowText(value);
  } else if (auto* label = qobject_cast<QLabel*>(w); label && label->pixmap().isNull()) {
    label->setProperty(kTextProperty, value);
    label->setText(label->property(kNoPrefixProperty).toBool() ? value : StripPrefix(value));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setProperty(kTextProperty, value);
    button->setText(value);
  } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
    group->setProperty(kTextProperty, value);
    group->setTitle(value);
  } else {
    throw std::logic_error("dialog " + std::to_string(m_templateId) + ": control " +
                           std::to_string(id) + " has no text to set");
  }
}

std::string CDialog::GetDlgItemText(int id) const {
  QWidget* w = GetDlgItem(id);
  if (auto* edit = qobject_cast<CEdit*>(w)) return ToAnsi(edit->text());
  if (auto* combo = qobject_cast<CComboBox*>(w)) return ToAnsi(combo->currentText());
  if (w && w->property(kTextProperty).isValid()) return ToAnsi(w->property(kTextProperty).toString());
  throw std::logic_error("dialog " + std::to_string(m_templateId) + ": control " +
                         std::to_string(id) + " has no text");
}

void CDialog::ShowDlgItem(int id, bool show) {
  QWidget* w = GetDlgItem(id);
  if (!w) throw std::logic_error("dialog " + std::to_string(m_templateId) + " has no control " + std::to_string(id));
  w->setVisible(show);
}

void CDialog::EnableDlgItem(int id, bool enable) {
  QWidget* w = GetDlgItem(id);
  if (!w) throw std::logic_error("dialog " + std::to_string(m_templateId) + " has no control " + std::to_string(id));
  w->setEnabled(enable);
}

void CDialog::SetReadOnly(int id, bool readOnly) { GetEdit(id)->SetReadOnly(readOnly); }
void CDialog::SetCurSel(int id, int index) { GetComboBox(id)->SetCurSel(index); }
int CDialog::GetCurSel(int id) const { return GetComboBox(id)->GetCurSel(); }
void CDialog::CheckDlgButton(int id, int check) { GetCheckBox(id)->setChecked(check != 0); }
int CDialog::IsDlgButtonChecked(int id) const { return GetCheckBox(id)->isChecked() ? 1 : 0; }

void CDialog::SetFocus(int id) {
  QWidget* w = GetDlgItem(id);
  if (!w) throw std::logic_error("dialog " + std::to_string(m_templateId) + " has no control " + std::to_string(id));
  w->setFocus(Qt::OtherFocusReason);
}

int CDialog::GetFocusId() const { return GetDlgCtrlID(focusWidget()); }

// --- Operator --------------------------------------------------------------------

int CDialog::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  return ShowMessageBox(isVisible() ? this : nullptr, text, caption, style);
}

CSystemMenu* CDialog::GetSystemMenu(bool bRevert) {
  if (bRevert) {
    m_sysMenu.Reset();
    return nullptr;
  }
  return &m_sysMenu;
}

QMenu* CDialog::CreateSystemMenu(QWidget* parent) const {
  auto* menu = new QMenu(parent);
  for (const auto& item : m_sysMenu.Items()) {
    if (item.flags & MF_SEPARATOR) {
      menu->addSeparator();
    } else {
      QAction* action = menu->addAction(FromAnsi(item.text));
      action->setData(item.id);
      if (item.id == IDM_ABOUTBOX) action->setShortcut(QKeySequence(Qt::Key_F1));
    }
  }
  return menu;
}

void CDialog::SetIcon(const QIcon& icon, bool bigIcon) {
  (void)bigIcon;  // one icon carries both sizes
  setWindowIcon(icon);
}

// --- Device notifications ----------------------------------------------------------

DeviceChangeSink CDialog::DeviceChangePoster() {
  QPointer<CDialog> target(this);
  return [target](unsigned event, unsigned deviceType, const std::string& name) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [target, event, deviceType, name] {
          if (target) target->SendDeviceChange(event, deviceType, name);
        },
        Qt::QueuedConnection);
  };
}

long CDialog::SendDeviceChange(unsigned event, unsigned deviceType, const std::string& name) {
  const DeviceBroadcast data{deviceType, name};
  return OnDeviceChange(event, &data);
}

// --- Screenshot ----------------------------------------------------------------------

bool CDialog::SaveScreenshot(const std::string& path, std::string* error) const {
  const QPixmap picture = const_cast<CDialog*>(this)->grab();
  const QString file = QFile::decodeName(path.c_str());
  if (picture.isNull() || !picture.save(file, "PNG")) {
    if (error) *error = "cannot write the screenshot " + path;
    return false;
  }
  return true;
}

bool CDialog::StartupScreenshotSaved(std::string* error) const {
  if (error) *error = m_screenshotError;
  return m_screenshotSaved;
}

}  // namespace qt70
