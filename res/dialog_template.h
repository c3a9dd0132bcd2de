// The resources of the dialog application as plain tables: the two dialog
// templates (controls with their ids, window classes, captions, styles and
// rectangles in dialog units), the dialog-init data that fills the combo
// boxes, and the string table. The pictures (icon 128, bitmap 131) are PNG
// files beside this header, embedded by the dialog framework.
//
// Nothing here depends on Qt: platform/ turns these tables into widgets.
#pragma once

#include <cstdint>
#include <span>

namespace qt70::res {

// Window styles, with the values the template format uses.
inline constexpr uint32_t WS_POPUP = 0x80000000u;
inline constexpr uint32_t WS_CHILD = 0x40000000u;
inline constexpr uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr uint32_t WS_DISABLED = 0x08000000u;
inline constexpr uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr uint32_t WS_BORDER = 0x00800000u;
inline constexpr uint32_t WS_VSCROLL = 0x00200000u;
inline constexpr uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr uint32_t WS_GROUP = 0x00020000u;
inline constexpr uint32_t WS_TABSTOP = 0x00010000u;
inline constexpr uint32_t WS_EX_APPWINDOW = 0x00040000u;

// Dialog styles.
inline constexpr uint32_t DS_MODALFRAME = 0x0080u;
inline constexpr uint32_t DS_SETFONT = 0x0040u;
inline constexpr uint32_t DS_FIXEDSYS = 0x0008u;

// Edit styles.
inline constexpr uint32_t ES_AUTOHSCROLL = 0x0080u;
inline constexpr uint32_t ES_READONLY = 0x0800u;

// Combo box styles: the low two bits give the kind.
inline constexpr uint32_t CBS_DROPDOWN = 0x0002u;      // editable, with a list
inline constexpr uint32_t CBS_DROPDOWNLIST = 0x0003u;  // a list only
inline constexpr uint32_t CBS_TYPEMASK = 0x0003u;
inline constexpr uint32_t CBS_SORT = 0x0100u;

// Button styles: the low four bits give the kind.
inline constexpr uint32_t BS_PUSHBUTTON = 0x0000u;
inline constexpr uint32_t BS_DEFPUSHBUTTON = 0x0001u;
inline constexpr uint32_t BS_AUTOCHECKBOX = 0x0003u;
inline constexpr uint32_t BS_GROUPBOX = 0x0007u;
inline constexpr uint32_t BS_TYPEMASK = 0x000Fu;
inline constexpr uint32_t BS_LEFTTEXT = 0x0020u;

// Static styles: the low five bits give the kind.
inline constexpr uint32_t SS_LEFT = 0x0000u;
inline constexpr uint32_t SS_ICON = 0x0003u;
inline constexpr uint32_t SS_BITMAP = 0x000Eu;
inline constexpr uint32_t SS_TYPEMASK = 0x001Fu;
inline constexpr uint32_t SS_NOPREFIX = 0x0080u;  // '&' is shown, not an accelerator

// The window class of a control; with its style it gives the control's kind.
enum class ControlClass : uint8_t { Button, Edit, Static, ComboBox };

// One control of a dialog template.
struct DialogItemTemplate {
  int id;               // -1 for controls without an id
  ControlClass cls;
  const char* caption;  // 8-bit text; empty for edits, combo boxes and pictures
  uint32_t style;       // WS_, ES_, CBS_, BS_ and SS_ bits
  int x, y, cx, cy;     // dialog units
  int image;            // icon or bitmap resource of an SS_ICON / SS_BITMAP static, else 0
};

struct DialogTemplate {
  int id;
  const char* caption;
  uint32_t style;
  uint32_t exStyle;
  int cx, cy;  // client size in dialog units
  const char* fontName;
  int pointSize;
  std::span<const DialogItemTemplate> items;  // template order, which is the tab order
};

// The template with this id, or null.
const DialogTemplate* FindDialogTemplate(int id);

// The dialog-init data of the dialog with this id (resource type 240):
// records of 16-bit control id, 16-bit message, 32-bit text length counting
// the terminating zero, the text; a 16-bit 0 ends them; little-endian.
// Empty when the dialog has none.
std::span<const uint8_t> FindDialogInit(int id);

// The message that a dialog-init record carries to add a combo box entry.
inline constexpr uint16_t kDlgInitAddString = 0x0403;

// A string of the string table, or null when there is none.
const char* FindString(int id);

}  // namespace qt70::res
