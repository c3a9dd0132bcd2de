// Loading the application's resources: icon 128, bitmap 131, the string
// table, and the program's own path.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <string>

namespace qt70 {

// The icon with both of its images (32x32 and 16x16); a null icon when the
// id names no icon.
QIcon LoadIcon(int id);
// The bitmap; a null pixmap when the id names no bitmap.
QPixmap LoadBitmap(int id);
// A string of the string table; empty when there is none.
std::string LoadString(int id);
// The full path of the running executable as 8-bit text (the file system's
// bytes); empty when it cannot be found.
std::string GetModuleFileName();

}  // namespace qt70
