#pragma once
// The application's texts: keys with the prefix "QM_" looked up in the "Localizable" context.
// install() puts the built-in English table (":/Localizable.json") in front of Qt's
// translations; a key the table does not hold reads as itself.

#include <QString>

namespace KLVLocalized {

// Installs the table as a translator of the running application (once; later calls do nothing).
void install();
QString text(const char* key);

} // namespace KLVLocalized
