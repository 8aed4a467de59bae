#pragma once
// Installs the setup views of every link type the application configures: serial, TCP and UDP,
// Art-Net and MIDI. A view lives as long as its communicator; the sheet only borrows it.

namespace KLVSetupViews {

void install();

} // namespace KLVSetupViews
