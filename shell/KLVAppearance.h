#pragma once
// The appearance setting "UserAppearance": 0 follows the platform, 1 light, 2 dark; any other
// stored value reads as 0. Light and dark use the Fusion style with our own palettes; 0 puts
// back the style and palette the application started with.

#include <QPalette>

namespace KLVAppearance {

enum Appearance { System = 0, Light = 1, Dark = 2 };

// The stored setting, mapped (1 → 1, 2 → 2, anything else → 0).
int userAppearance();
void setUserAppearance(int appearance);
const char* userAppearanceKey();

QPalette lightPalette();
QPalette darkPalette();

// Applies the stored setting to the running QApplication (GUI thread). The first call records
// the platform's style and palette for 0.
void updateApplicationAppearance();

} // namespace KLVAppearance
