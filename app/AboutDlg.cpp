#include "AboutDlg.h"

namespace qt70 {

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::DoDataExchange(CDataExchange*) {}

}  // namespace qt70
