#pragma once
// A parser on a serial communicator whose line is the slave side of a pseudo-terminal, so the
// test holds the far end (pty). The user defaults live in a temporary folder meanwhile.
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TempFolder.h"

#include <memory>
#include <tuple>

namespace commtest {

template <class P>
struct SerialPair {
    testsupport::TempFolder folder;
    testsupport::PseudoTerminal pty{true};
    std::shared_ptr<P> parser;
    std::shared_ptr<QMSerialHardwareCommunicator> serial;

    SerialPair()
    {
        platform::UserDefaults::setSharedFilePath(folder.filePath(QStringLiteral("Kalvanto.conf")));
        std::tie(parser, serial) = makePair<P, QMSerialHardwareCommunicator>();
        serial->setDevicePath(pty.slavePath());
    }
};

} // namespace commtest
