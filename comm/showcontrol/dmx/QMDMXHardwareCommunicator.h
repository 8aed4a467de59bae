#pragma once
// The abstract DMX communicator: a communicator whose parser takes DMX frames and which can send
// a frame out.
#include "comm/core/QMHardwareCommunicator.h"
#include "comm/core/QMParserProtocols.h"

#include <QByteArray>

#include <memory>

class QMDMXHardwareCommunicator : public QMHardwareCommunicator {
    Q_OBJECT
public:
    // The parser when it takes DMX frames, else null.
    std::shared_ptr<QMDMXProtocolParser> dmxParser() const;
    // Sends one frame; here it only says that a subclass must.
    virtual void sendDMXData(const QByteArray& frame);
};
