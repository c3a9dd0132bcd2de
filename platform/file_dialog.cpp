#include "platform/file_dialog.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>

#include "platform/text.h"
#include "res/resource.h"

namespace qt70 {
namespace {

FileDialogHook& Hook() {
  static FileDialogHook hook;
  return hook;
}

// "XML Files (*.xml)" with "*.xml" gives Qt's "XML Files (*.xml)"; a
// description without the patterns in brackets gets them appended.
QString QtFilter(const FileOpenRequest& r) {
  QString patterns = FromMessageText(r.filterPattern);
  patterns.replace(';', ' ');
  QString description = FromMessageText(r.filterDescription);
  if (patterns.isEmpty()) return description;
  if (description.endsWith("(" + patterns + ")")) return description;
  if (description.isEmpty()) return patterns;
  return description + " (" + patterns + ")";
}

}  // namespace

FileDialogHook SetFileDialogHook(FileDialogHook hook) {
  FileDialogHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

int CFileDialog::DoModal() {
  m_path.clear();
  std::optional<std::string> chosen;
  if (Hook()) {
    FileDialogHook hook = Hook();
    chosen = hook(m_request);
  } else {
    QWidget* parent = m_parent ? m_parent : QApplication::activeModalWidget();
    const QString path =
        QFileDialog::getOpenFileName(parent, FromMessageText(m_request.title),
                                     QFile::decodeName(m_request.initialDir.c_str()),
                                     QtFilter(m_request));
    if (!path.isEmpty()) chosen = QFile::encodeName(path).toStdString();
  }
  if (!chosen) return IDCANCEL;
  m_path = *chosen;
  return IDOK;
}

ScriptedFileDialogs::ScriptedFileDialogs() {
  m_previous = SetFileDialogHook([this](const FileOpenRequest& r) -> std::optional<std::string> {
    requests.push_back(r);
    if (results.empty()) return std::nullopt;
    auto result = results.front();
    results.erase(results.begin());
    return result;
  });
}

ScriptedFileDialogs::~ScriptedFileDialogs() { SetFileDialogHook(std::move(m_previous)); }

}  // namespace qt70
