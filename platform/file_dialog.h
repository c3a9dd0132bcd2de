// The file-open dialog: a title, one filter and an initial folder; the
// chosen path comes back as 8-bit text ready for the file functions. Tests
// answer it through a hook instead of showing it.
#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace qt70 {

struct FileOpenRequest {
  std::string title;
  std::string filterDescription;  // "XML Files (*.xml)"
  std::string filterPattern;      // "*.xml"; several patterns separated by ';'
  std::string initialDir;
  bool operator==(const FileOpenRequest&) const = default;
};

// Answers a file dialog: the chosen path, or nothing for Cancel.
using FileDialogHook = std::function<std::optional<std::string>(const FileOpenRequest&)>;
// Installs the hook (null removes it); returns the hook it replaces.
FileDialogHook SetFileDialogHook(FileDialogHook hook);

class CFileDialog {
 public:
  explicit CFileDialog(QWidget* parent = nullptr) : m_parent(parent) {}

  FileOpenRequest m_request;

  // Shows the dialog modally: IDOK when the operator chose a file, IDCANCEL
  // otherwise.
  int DoModal();
  // The chosen full path (the file system's own bytes); empty before an OK.
  const std::string& GetPathName() const { return m_path; }

 private:
  QWidget* m_parent;
  std::string m_path;
};

// For tests: answers every file dialog with the next scripted result
// (nothing once the script is used up) and records the requests.
class ScriptedFileDialogs {
 public:
  ScriptedFileDialogs();
  ~ScriptedFileDialogs();
  ScriptedFileDialogs(const ScriptedFileDialogs&) = delete;
  ScriptedFileDialogs& operator=(const ScriptedFileDialogs&) = delete;

  std::vector<std::optional<std::string>> results;
  std::vector<FileOpenRequest> requests;

 private:
  FileDialogHook m_previous;
};

}  // namespace qt70
