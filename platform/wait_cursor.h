// The wait cursor, shown while a long command (the programming run) blocks
// the window thread.
#pragma once

namespace qt70 {

// Shows the wait cursor; calls nest, each needs its EndWaitCursor.
void BeginWaitCursor();
// Takes back one BeginWaitCursor; does nothing when none is open.
void EndWaitCursor();
// Number of BeginWaitCursor calls not yet taken back.
int WaitCursorDepth();

// Shows the wait cursor for its lifetime.
class CWaitCursor {
 public:
  CWaitCursor() { BeginWaitCursor(); }
  ~CWaitCursor() { EndWaitCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace qt70
