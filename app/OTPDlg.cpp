#include "OTPDlg.h"

#include <QCheckBox>
#include <QPainter>
#include <QSocketNotifier>
#include <QStyle>
#include <filesystem>

#include "AboutDlg.h"
#include "config/validation.h"
#include "device/ports_dir.h"
#include "platform/data_exchange.h"
#include "platform/file_dialog.h"
#include "platform/resources.h"
#include "platform/wait_cursor.h"
#include "res/resource.h"

namespace qt70 {

namespace {

// The message map: control notifications to their handlers.
const CommandEntry<CTandoOTPDlg> kMessageMap[] = {
    {CBN_SELCHANGE, IDC_COMBO_COM_NUMBER, &CTandoOTPDlg::OnCbnSelchangeComboComNumber},
    {BN_CLICKED, IDC_BUTTON_PROGRAM, &CTandoOTPDlg::OnBnClickedButtonProgram},
    {BN_CLICKED, IDC_BUTTON_REFRESH, &CTandoOTPDlg::OnBnClickedButtonRefresh},
    {BN_CLICKED, IDC_BUTTON_LOAD_XMLFILE, &CTandoOTPDlg::OnBnClickedButtonLoadXmlfile},
    {BN_CLICKED, IDC_BUTTON_LOAD_DEFAULTS, &CTandoOTPDlg::OnBnClickedButtonLoadDefaults},
    {BN_CLICKED, IDC_CHECK_MFG_STRING_USE_DEFAULT,
     &CTandoOTPDlg::OnBnClickedCheckMfgStringUseDefault},
    {BN_CLICKED, IDC_CHECK_PRODUCT_STRING_USE_DEFAULT,
     &CTandoOTPDlg::OnBnClickedCheckProductStringUseDefault},
    {BN_CLICKED, IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT,
     &CTandoOTPDlg::OnBnClickedCheckSerialnumStringUseDefault},
};

constexpr int kPlainEdits[] = {IDC_EDIT_VENDOR_ID, IDC_EDIT_DEVICE_ID, IDC_EDIT_MAX_POWER};
constexpr int kAttributeChecks[] = {IDC_CHECK_SELF_POWERED, IDC_CHECK_REMOTE_WAKEUP,
                                    IDC_CHECK_LOW_POWER, IDC_CHECK_VBUS_SENSE};
constexpr int kUseDefaultChecks[] = {IDC_CHECK_MFG_STRING_USE_DEFAULT,
                                     IDC_CHECK_PRODUCT_STRING_USE_DEFAULT,
                                     IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT};
constexpr int kRegisterEdits[] = {IDC_EDIT_GPIO_MODE,     IDC_EDIT_GPIO_DIRECTION,
                                  IDC_EDIT_GPIO_INT_MASK, IDC_EDIT_GPIO_SET,
                                  IDC_EDIT_FLOW_CONTROL,  IDC_EDIT_PIN_PULLDOWN,
                                  IDC_EDIT_PIN_PULLUP,    IDC_EDIT_BAUD_RATE};
constexpr int kLists[] = {IDC_COMBO_CHAR_FORMAT, IDC_COMBO_PARITY, IDC_COMBO_DATA_BITS,
                          IDC_COMBO_CORE_CLOCK};

}  // namespace

CTandoOTPDlg::CTandoOTPDlg(QWidget* pParent, const std::string& portsDir)
    : CDialog(IDD_TANDOOTP_DIALOG, pParent),
      m_device(m_link, m_settings, *this, PortsDir(portsDir)),
      m_hIcon(LoadIcon(IDR_MAINFRAME)) {
  m_device.m_appCaption = "QT70L5530 OTP";
  m_device.onPortListChanged = [this] { FillPortList(); };
}

CTandoOTPDlg::~CTandoOTPDlg() = default;

void CTandoOTPDlg::DoDataExchange(CDataExchange* pDX) {
  CSettings& s = m_settings;
  DDX_CBString(pDX, IDC_COMBO_COM_NUMBER, s.m_strComPort);
  DDX_Text(pDX, IDC_EDIT_VENDOR_ID, s.m_strVendorId);
  DDV_MaxChars(pDX, s.m_strVendorId, 6);
  DDX_Text(pDX, IDC_EDIT_DEVICE_ID, s.m_strDeviceId);
  DDV_MaxChars(pDX, s.m_strDeviceId, 6);
  DDX_Text(pDX, IDC_EDIT_MAX_POWER, s.m_strMaxPower);
  DDX_Text(pDX, IDC_EDIT_MANUFACTURER, s.m_strManufacturer);
  DDV_MaxChars(pDX, s.m_strManufacturer, 15);
  DDX_Text(pDX, IDC_EDIT_PRODUCT, s.m_strProduct);
  DDV_MaxChars(pDX, s.m_strProduct, 15);
  DDX_Text(pDX, IDC_EDIT_SERIAL_NUMBER, s.m_strSerialNumber);
  DDV_MaxChars(pDX, s.m_strSerialNumber, 15);
  DDX_Check(pDX, IDC_CHECK_SELF_POWERED, s.m_bSelfPowered);
  DDX_Check(pDX, IDC_CHECK_REMOTE_WAKEUP, s.m_bRemoteWakeup);
  DDX_Text(pDX, IDC_EDIT_GPIO_MODE, s.m_strGpioMode);
  DDV_MaxChars(pDX, s.m_strGpioMode, 4);
  DDX_Text(pDX, IDC_EDIT_FLOW_CONTROL, s.m_strFlowControl);
  DDV_MaxChars(pDX, s.m_strFlowControl, 4);
  DDX_Text(pDX, IDC_EDIT_GPIO_DIRECTION, s.m_strGpioDirection);
  DDV_MaxChars(pDX, s.m_strGpioDirection, 4);
  DDX_Text(pDX, IDC_EDIT_GPIO_INT_MASK, s.m_strGpioIntMask);
  DDV_MaxChars(pDX, s.m_strGpioIntMask, 4);
  DDX_Text(pDX, IDC_EDIT_PIN_PULLDOWN, s.m_strPinPulldown);
  DDV_MaxChars(pDX, s.m_strPinPulldown, 4);
  DDX_Text(pDX, IDC_EDIT_PIN_PULLUP, s.m_strPinPullup);
  DDV_MaxChars(pDX, s.m_strPinPullup, 4);
  DDX_Text(pDX, IDC_EDIT_GPIO_SET, s.m_strGpioSet);
  DDV_MaxChars(pDX, s.m_strGpioSet, 4);
  DDX_Text(pDX, IDC_EDIT_BAUD_RATE, s.m_nBaudRate);
  DDV_MinMaxUInt(pDX, s.m_nBaudRate, 0, 12000000);
  DDX_CBIndex(pDX, IDC_COMBO_CHAR_FORMAT, s.m_nCharFormat);
  DDV_MinMaxInt(pDX, s.m_nCharFormat, -1, 1);
  DDX_CBIndex(pDX, IDC_COMBO_PARITY, s.m_nParity);
  DDV_MinMaxInt(pDX, s.m_nParity, -1, 4);
  DDX_CBIndex(pDX, IDC_COMBO_DATA_BITS, s.m_nDataBits);
  DDV_MinMaxInt(pDX, s.m_nDataBits, -1, 2);
  DDX_Check(pDX, IDC_CHECK_LOW_POWER, s.m_bLowPowerActiveHigh);
  DDX_Check(pDX, IDC_CHECK_VBUS_SENSE, s.m_bVbusSense);
  DDX_CBIndex(pDX, IDC_COMBO_CORE_CLOCK, s.m_nCoreClock);
  DDX_Check(pDX, IDC_CHECK_MFG_STRING_USE_DEFAULT, s.m_bUseDefaultManufacturer);
  DDX_Check(pDX, IDC_CHECK_PRODUCT_STRING_USE_DEFAULT, s.m_bUseDefaultProduct);
  DDX_Check(pDX, IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT, s.m_bUseDefaultSerial);
}

bool CTandoOTPDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // The About item, at the end of the system menu after a separator.
  if (CSystemMenu* menu = GetSystemMenu(false)) {
    const std::string about = LoadString(IDS_ABOUTBOX);
    if (!about.empty()) {
      menu->AppendMenu(MF_SEPARATOR);
      menu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);

  m_link.Close();
  m_device.RefreshPortList();
  m_device.RegisterCOMDeviceNotification();
  WatchPortMonitor();

  m_link.m_bReadFailed = 0;
  ShowDlgItem(IDC_STATIC_STATUS, false);
  DisableControls();
  // Resets the engine's run state and fills the field table.
  m_engine.reset_run_state();
  return true;
}

bool CTandoOTPDlg::OnCommand(int id, unsigned code) {
  return DispatchCommand(*this, kMessageMap, id, code) || CDialog::OnCommand(id, code);
}

void CTandoOTPDlg::OnSysCommand(unsigned nID, long lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
    return;
  }
  CDialog::OnSysCommand(nID, lParam);
}

long CTandoOTPDlg::OnDeviceChange(unsigned event, const DeviceBroadcast* data) {
  // The session answers every event but arrival and removal with 0.
  if (!data) return 0;
  return m_device.OnMyDeviceChange(event, data->deviceType, data->name);
}

void CTandoOTPDlg::paintEvent(QPaintEvent* event) {
  if (IsIconic()) {
    // Minimised: the icon, centred in the client area.
    QPainter painter(this);
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize);
    const int x = (width() - size + 1) / 2;
    const int y = (height() - size + 1) / 2;
    m_hIcon.paint(&painter, x, y, size, size);
    return;
  }
  CDialog::paintEvent(event);
}

// --- port list and notifications ----------------------------------------

void CTandoOTPDlg::FillPortList() {
  CComboBox* list = GetComboBox(IDC_COMBO_COM_NUMBER);
  for (int i = list->GetCount() - 1; i >= 0; --i) list->DeleteString(i);
  for (const std::string& name : m_device.m_ports) list->AddString(QString::fromLatin1(name));
  list->SetCurSel(-1);
}

void CTandoOTPDlg::WatchPortMonitor() {
  m_notifiers.clear();
  for (int fd : m_device.Monitor().Fds()) {
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    // Runs on the window thread, also inside the nested loop of a message box.
    connect(notifier.get(), &QSocketNotifier::activated, this,
            [this] { m_device.Monitor().Dispatch(); });
    m_notifiers.push_back(std::move(notifier));
  }
}

void CTandoOTPDlg::OnCbnSelchangeComboComNumber() { m_device.OnCbnSelchangeComboComNumber(); }

// --- control states -----------------------------------------------------

void CTandoOTPDlg::EnableControls() {
  const CSettings& s = m_settings;
  for (int id : kPlainEdits) CDialog::SetReadOnly(id, false);
  CDialog::SetReadOnly(IDC_EDIT_MANUFACTURER, s.m_bUseDefaultManufacturer == 1);
  CDialog::SetReadOnly(IDC_EDIT_PRODUCT, s.m_bUseDefaultProduct == 1);
  CDialog::SetReadOnly(IDC_EDIT_SERIAL_NUMBER, s.m_bUseDefaultSerial == 1);
  for (int id : kAttributeChecks) CDialog::EnableDlgItem(id, true);
  for (int id : kUseDefaultChecks) CDialog::EnableDlgItem(id, true);
  for (int id : kRegisterEdits) CDialog::SetReadOnly(id, false);
  for (int id : kLists) {
    CDialog::SetCurSel(id, -1);
    CDialog::EnableDlgItem(id, true);
  }
  CDialog::EnableDlgItem(IDC_BUTTON_LOAD_XMLFILE, true);
  CDialog::EnableDlgItem(IDC_BUTTON_REFRESH, true);
  CDialog::EnableDlgItem(IDC_BUTTON_PROGRAM, true);
  CDialog::EnableDlgItem(IDC_BUTTON_LOAD_DEFAULTS, true);
}

void CTandoOTPDlg::DisableControls() {
  for (int id : kPlainEdits) CDialog::SetReadOnly(id, true);
  CDialog::SetReadOnly(IDC_EDIT_MANUFACTURER, true);
  CDialog::SetReadOnly(IDC_EDIT_PRODUCT, true);
  CDialog::SetReadOnly(IDC_EDIT_SERIAL_NUMBER, true);
  for (int id : kAttributeChecks) CDialog::EnableDlgItem(id, false);
  for (int id : kUseDefaultChecks) CDialog::EnableDlgItem(id, false);
  for (int id : kRegisterEdits) CDialog::SetReadOnly(id, true);
  for (int id : kLists) {
    CDialog::SetCurSel(id, -1);
    CDialog::EnableDlgItem(id, false);
  }
  CDialog::EnableDlgItem(IDC_BUTTON_LOAD_XMLFILE, false);
  CDialog::EnableDlgItem(IDC_BUTTON_REFRESH, false);
  CDialog::EnableDlgItem(IDC_BUTTON_PROGRAM, false);
  CDialog::EnableDlgItem(IDC_BUTTON_LOAD_DEFAULTS, false);
}

void CTandoOTPDlg::DisableControls1() {
  for (int id : kPlainEdits) CDialog::SetReadOnly(id, true);
  CDialog::SetReadOnly(IDC_EDIT_MANUFACTURER, true);
  CDialog::SetReadOnly(IDC_EDIT_PRODUCT, true);
  CDialog::SetReadOnly(IDC_EDIT_SERIAL_NUMBER, true);
  for (int id : kAttributeChecks) CDialog::EnableDlgItem(id, false);
  // The Use Kelm Defaults boxes and Refresh keep their state.
  for (int id : kRegisterEdits) CDialog::SetReadOnly(id, true);
  for (int id : kLists) CDialog::EnableDlgItem(id, false);
  CDialog::EnableDlgItem(IDC_BUTTON_LOAD_XMLFILE, false);
  CDialog::EnableDlgItem(IDC_BUTTON_PROGRAM, false);
  CDialog::EnableDlgItem(IDC_BUTTON_LOAD_DEFAULTS, false);
}

// --- command handlers ---------------------------------------------------

void CTandoOTPDlg::OnBnClickedButtonLoadDefaults() {
  CSettings& s = m_settings;
  s.m_strVendorId = "0x0000";
  s.m_strDeviceId = "0x0000";
  s.m_strMaxPower = "0x32";
  s.m_bUseDefaultManufacturer = 1;
  s.m_strManufacturer.clear();
  s.m_bUseDefaultProduct = 1;
  s.m_strProduct.clear();
  s.m_bUseDefaultSerial = 1;
  s.m_strSerialNumber.clear();
  CDialog::SetReadOnly(IDC_EDIT_MANUFACTURER, true);
  CDialog::SetReadOnly(IDC_EDIT_PRODUCT, true);
  CDialog::SetReadOnly(IDC_EDIT_SERIAL_NUMBER, true);
  s.m_bSelfPowered = 0;
  s.m_bRemoteWakeup = 1;
  s.m_bLowPowerActiveHigh = 0;
  s.m_bVbusSense = 0;
  s.m_nCoreClock = 3;
  s.m_strGpioMode = "0x00";
  s.m_strFlowControl = "0x00";
  s.m_strGpioDirection = "0x00";
  s.m_strGpioIntMask = "0x00";
  s.m_strPinPulldown = "0x00";
  s.m_strPinPullup = "0x00";
  s.m_strGpioSet = "0x00";
  s.m_nBaudRate = 9600;
  s.m_nDataBits = 1;
  s.m_nParity = 0;
  s.m_nCharFormat = 0;
  CDialog::UpdateData(false);
}

void CTandoOTPDlg::ToggleUseDefault(int& flag, int editId) {
  // Decides on the member, which every other writer shows with
  // UpdateData(FALSE), so it agrees with the box that has already toggled.
  if (flag == 1) {
    flag = 0;
    CDialog::SetReadOnly(editId, false);
  } else {
    flag = 1;
    CDialog::SetReadOnly(editId, true);
  }
}

void CTandoOTPDlg::OnBnClickedCheckMfgStringUseDefault() {
  ToggleUseDefault(m_settings.m_bUseDefaultManufacturer, IDC_EDIT_MANUFACTURER);
}
void CTandoOTPDlg::OnBnClickedCheckProductStringUseDefault() {
  ToggleUseDefault(m_settings.m_bUseDefaultProduct, IDC_EDIT_PRODUCT);
}
void CTandoOTPDlg::OnBnClickedCheckSerialnumStringUseDefault() {
  ToggleUseDefault(m_settings.m_bUseDefaultSerial, IDC_EDIT_SERIAL_NUMBER);
}

void CTandoOTPDlg::OnBnClickedButtonProgram() {
  // A failed transfer has shown its message; stale values are not programmed.
  if (!CDialog::UpdateData(true)) return;
  if (CDialog::MessageBox("This is only one time programmable.  Do you wish to proceed?",
                          "Confirm...", MB_YESNO | MB_ICONQUESTION) == IDNO)
    return;
  if (isproper(m_settings, *this) == 0) return;

  CWaitCursor wait;
  // The chip is programmed only from the file that holds the settings on
  // the screen: when it cannot be saved, nothing is touched.
  if (!m_files.dynamDOM(m_settings)) {
    // The writer's text names the file too; the box names it once.
    std::string why = m_files.LastWriteError();
    const std::string named = std::string("cannot write the configuration file ") +
                              kXmlFileName + ": ";
    if (why.rfind(named, 0) == 0) why.erase(0, named.size());
    CDialog::MessageBox("The configuration file QT70L5530_OTP.xml could not be saved: " + why +
                            "\nThe chip was not programmed.",
                        "Error", MB_ICONERROR);
    return;
  }
  m_engine.program_file();
  if (m_files.ExitRequested()) {
    // A file of an unsupported version ends the application.
    m_exitStatus = 1;
    EndDialog(IDCANCEL);
    return;
  }
  // The chip is shown as it is now, whatever the run's outcome. A readback
  // that finds the port gone has closed it: nothing is left usable then.
  if (m_device.ReadAllTandoOTPRegisters()) DisableControls1();
  else DisableControls();
}

void CTandoOTPDlg::OnBnClickedButtonRefresh() {
  const int programmed = m_device.IsOTPProgrammed();
  if (programmed == kOtpCheckFailed) {
    // The chip did not answer: the port is closed, and the controls are
    // locked as after a port choice that meets the same failure, so that
    // Program is not left enabled on a closed port.
    m_device.OnReadbackFailed();
    DisableControls();
  } else if (programmed) {
    if (m_device.ReadAllTandoOTPRegisters()) DisableControls1();
    else DisableControls();
  } else {
    CDialog::MessageBox("The OTP is not programmed and is blank.", "OTP Blank.",
                        MB_ICONEXCLAMATION);
  }
}

void CTandoOTPDlg::OnBnClickedButtonLoadXmlfile() {
  CFileDialog dialog(this);
  dialog.m_request.initialDir =
      std::filesystem::path(GetModuleFileName()).parent_path().string();
  dialog.m_request.title = "Open QT70L5530IL16 Config .xml File XML File";
  dialog.m_request.filterDescription = "XML Files (*.xml)";
  dialog.m_request.filterPattern = "*.xml";
  if (dialog.DoModal() != IDOK) return;

  const std::string path = dialog.GetPathName();
  if (path.empty()) {
    CDialog::MessageBox("You must first specify an XML file to read", "", MB_OK);
    CDialog::UpdateData(false);
    return;
  }
  // A file that cannot be read has been reported as changing no setting:
  // the controls are left alone too, so that what the operator typed since
  // the last transfer is not replaced by older members.
  if (!m_files.LoadXmlFile(path, m_settings)) return;
  CDialog::SetReadOnly(IDC_EDIT_MANUFACTURER, m_settings.m_bUseDefaultManufacturer == 1);
  CDialog::SetReadOnly(IDC_EDIT_PRODUCT, m_settings.m_bUseDefaultProduct == 1);
  CDialog::SetReadOnly(IDC_EDIT_SERIAL_NUMBER, m_settings.m_bUseDefaultSerial == 1);
  CDialog::UpdateData(false);
}

// --- the operator interface ---------------------------------------------

int CTandoOTPDlg::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  return CDialog::MessageBox(text, caption, style);
}
void CTandoOTPDlg::SetDlgItemText(int id, std::string_view text) {
  CDialog::SetDlgItemText(id, text);
}
void CTandoOTPDlg::ShowDlgItem(int id, bool show) { CDialog::ShowDlgItem(id, show); }
void CTandoOTPDlg::EnableDlgItem(int id, bool enable) { CDialog::EnableDlgItem(id, enable); }
bool CTandoOTPDlg::UpdateData(bool saveAndValidate) {
  return CDialog::UpdateData(saveAndValidate);
}
void CTandoOTPDlg::SetControlState(ControlState state) {
  switch (state) {
    case ControlState::Locked: DisableControls(); break;
    case ControlState::Editing: EnableControls(); break;
    case ControlState::Programmed: DisableControls1(); break;
  }
}
void CTandoOTPDlg::SetReadOnly(int id, bool readOnly) { CDialog::SetReadOnly(id, readOnly); }
void CTandoOTPDlg::SetFocus(int id) { CDialog::SetFocus(id); }
void CTandoOTPDlg::SetCurSel(int id, int index) { CDialog::SetCurSel(id, index); }

}  // namespace qt70
