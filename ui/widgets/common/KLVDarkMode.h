#pragma once
// Whether a palette, or the application's, is a dark appearance: its window background is darker
// than its text.

#include <QPalette>

namespace KLVDarkMode {

bool isDarkMode(const QPalette& palette);
bool applicationIsDark();

} // namespace KLVDarkMode
