#pragma once
// What a screen reader or a GUI robot calls a control whose face is a glyph, a picture or a
// changing value, and the tooltip a pointer shows: texts of the string table by key.

class QWidget;

namespace KLVControlNames {

// The accessible name from nameKey; the tooltip from tipKey, or the name when none is given.
void name(QWidget* control, const char* nameKey, const char* tipKey = nullptr);

} // namespace KLVControlNames
