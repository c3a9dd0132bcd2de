// qt70otp-gui: the dialog application of the QT70L5530 OTP tool.

#include <QApplication>
#include <cstring>
#include <iostream>

#include "TandoOTP.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("QT70L5530 OTP");

  qt70::CTandoOTPApp::Options options;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--screenshot") == 0 && hasValue) {
      options.screenshot = argv[++i];
    } else if (std::strcmp(argv[i], "--ports-dir") == 0 && hasValue) {
      options.portsDir = argv[++i];
    } else {
      std::cerr << "usage: qt70otp-gui [--ports-dir DIR] [--screenshot FILE.png]\n";
      return 2;
    }
  }
  qt70::CTandoOTPApp theApp;
  return theApp.InitInstance(options);
}
