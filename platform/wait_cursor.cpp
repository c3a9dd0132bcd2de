#include "platform/wait_cursor.h"

#include <QApplication>
#include <QCursor>

namespace qt70 {
namespace {
int g_depth = 0;
}

void BeginWaitCursor() {
  ++g_depth;
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void EndWaitCursor() {
  if (g_depth == 0) return;
  --g_depth;
  QApplication::restoreOverrideCursor();
}

int WaitCursorDepth() { return g_depth; }

}  // namespace qt70
