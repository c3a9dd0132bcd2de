// The About box of template 100.
#pragma once

#include "platform/dialog.h"

namespace qt70 {

class CAboutDlg : public CDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  void DoDataExchange(CDataExchange* pDX) override;
};

}  // namespace qt70
