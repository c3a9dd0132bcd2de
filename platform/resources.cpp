#include "platform/resources.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>

#include "res/dialog_template.h"
#include "res/resource.h"

namespace qt70 {

QIcon LoadIcon(int id) {
  QIcon icon;
  if (id == IDR_MAINFRAME) {
    icon.addFile(QStringLiteral(":/res/icon_128_32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/res/icon_128_16.png"), QSize(16, 16));
  }
  return icon;
}

QPixmap LoadBitmap(int id) {
  if (id == IDB_BITMAP1) return QPixmap(QStringLiteral(":/res/bitmap_131.png"));
  return {};
}

std::string LoadString(int id) {
  const char* text = res::FindString(id);
  return text ? text : "";
}

std::string GetModuleFileName() {
  if (QCoreApplication::instance())
    return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 && static_cast<size_t>(n) < sizeof buffer ? std::string(buffer, static_cast<size_t>(n))
                                                          : std::string();
}

}  // namespace qt70
