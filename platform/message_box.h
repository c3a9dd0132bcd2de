// Modal message boxes from the MB_ style flags, and a hook through which
// tests answer boxes by a script and record them instead of showing them.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/operator.h"  // MB_ styles, IDYES, IDNO

class QWidget;

namespace qt70 {

// Button sets besides MB_OK and MB_YESNO.
enum : unsigned { MB_OKCANCEL = 0x01, MB_YESNOCANCEL = 0x03, MB_TYPEMASK = 0x0F, MB_ICONMASK = 0xF0 };

// One box as it would be shown: text and caption as passed (8-bit text),
// and the style flags.
struct MessageBoxRecord {
  std::string text;
  std::string caption;
  unsigned style = 0;
  bool operator==(const MessageBoxRecord&) const = default;
};

// Answers a box in place of the operator; returns the button "pressed"
// (IDOK, IDCANCEL, IDYES or IDNO).
using MessageBoxHook = std::function<int(const MessageBoxRecord&)>;

// Installs the hook for every box of the process (null removes it); returns
// the hook it replaces. Boxes are shown on the window thread only.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a modal box and returns the pressed button: IDOK (1) for OK,
// IDCANCEL (2) for Cancel (also Escape or the close box where there is a
// Cancel button), IDYES (6), IDNO (7). The box runs a nested event loop, so
// posted events (device notifications, queued calls) are handled while it
// is open. The caption is shown as given, even when it is empty. parent
// null: the active modal window, if any, owns the box.
int ShowMessageBox(QWidget* parent, std::string_view text, std::string_view caption,
                   unsigned style);
// The framework's box: the caption is the application's name.
int AfxMessageBox(std::string_view text, unsigned style = MB_OK);
// The application's name as boxes show it (QCoreApplication::applicationName).
std::string AppName();

// For tests: answers boxes from a script and records them while it lives.
// Without a scripted answer a box gets IDOK, or IDYES for a Yes/No box.
class ScriptedMessageBoxes {
 public:
  ScriptedMessageBoxes();
  ~ScriptedMessageBoxes();
  ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
  ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

  std::deque<int> answers;               // next answers, in order
  std::vector<MessageBoxRecord> boxes;   // every box, in order
  // Runs while a box is "open" (after it was recorded, before it answers).
  std::function<void(const MessageBoxRecord&)> whileOpen;
  // Dispatches the pending events while a box is "open", as the nested loop
  // of a shown box would.
  bool runEvents = false;

  std::vector<std::string> Texts() const;

 private:
  MessageBoxHook m_previous;
};

}  // namespace qt70
