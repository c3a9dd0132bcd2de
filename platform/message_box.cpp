#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "platform/text.h"
#include "res/resource.h"

namespace qt70 {
namespace {

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

QMessageBox::Icon IconOf(unsigned style) {
  switch (style & MB_ICONMASK) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

std::string AppName() { return QCoreApplication::applicationName().toStdString(); }

int ShowMessageBox(QWidget* parent, std::string_view text, std::string_view caption,
                   unsigned style) {
  if (Hook()) {
    // Copy the hook: it may replace itself while it runs.
    MessageBoxHook hook = Hook();
    return hook({std::string(text), std::string(caption), style});
  }
  if (!parent) parent = QApplication::activeModalWidget();
  QMessageBox box(IconOf(style), FromMessageText(caption), FromMessageText(text),
                  QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      break;
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default:
      // An OK box closed by Escape or its close box still answers OK.
      return (style & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
  }
}

int AfxMessageBox(std::string_view text, unsigned style) {
  return ShowMessageBox(nullptr, text, AppName(), style);
}

ScriptedMessageBoxes::ScriptedMessageBoxes() {
  m_previous = SetMessageBoxHook([this](const MessageBoxRecord& box) {
    boxes.push_back(box);
    if (whileOpen) whileOpen(box);
    if (runEvents) QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (!answers.empty()) {
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    }
    const unsigned type = box.style & MB_TYPEMASK;
    return type == MB_YESNO || type == MB_YESNOCANCEL ? IDYES : IDOK;
  });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() { SetMessageBoxHook(std::move(m_previous)); }

std::vector<std::string> ScriptedMessageBoxes::Texts() const {
  std::vector<std::string> texts;
  for (const auto& b : boxes) texts.push_back(b.text);
  return texts;
}

}  // namespace qt70
