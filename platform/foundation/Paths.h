#pragma once
// Where the application keeps its files, and "~" in paths shown to or typed by the user.
// Folders follow the XDG base directories through QStandardPaths, so QStandardPaths test mode
// redirects them in tests.

#include <QString>

namespace platform {

inline constexpr const char* kOrganizationFolder = "Quenmark";
inline constexpr const char* kApplicationFolder = "Kalvanto";

// $XDG_DATA_HOME/Quenmark/Kalvanto (no trailing slash), created when missing.
QString applicationDataFolder();
// A sub-folder of it ("Slates", "Thumbnails"), created when missing.
QString applicationDataFolder(const QString& subfolder);
// $XDG_CONFIG_HOME/Quenmark (no trailing slash), created when missing.
QString configFolder();
// The user's home folder (no trailing slash).
QString homeFolder();

// "~" -> home, "~/x" -> home + "/x", "~user/x" -> that user's home + "/x". Anything else, or an
// unknown user, is returned unchanged.
QString stringByExpandingTildeInPath(const QString& path);
// home -> "~", home + "/x" -> "~/x" (only on a whole path component: "/home/al" does not
// abbreviate "/home/alice"). Anything else is returned unchanged.
QString stringByAbbreviatingWithTildeInPath(const QString& path);

} // namespace platform
