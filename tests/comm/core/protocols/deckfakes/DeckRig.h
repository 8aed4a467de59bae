#pragma once
// Puts one deck-control parser behind a module controller with a DeckInterpreter, on a real
// transport: a TCP server or UDP socket on 127.0.0.1 (ephemeral port) or a pseudo-terminal.
// PeerLink is the controller's end of that transport; reads run the event loop, because the
// parser answers on the main thread.
#include "comm/core/QMCommunicationModuleController.h"
#include "comm/core/QMProtocolParser.h"
#include "comm/core/QMSerialHardwareCommunicator.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "tests/comm/core/protocols/deckfakes/DeckInterpreter.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TempFolder.h"

#include <QByteArray>
#include <QTcpSocket>
#include <QUdpSocket>

#include <functional>
#include <memory>

class PeerLink {
public:
    virtual ~PeerLink() = default;
    virtual bool send(const QByteArray& bytes) = 0;
    // Everything that arrived so far, without waiting.
    virtual QByteArray takeAvailable() = 0;
    // Waits (running the event loop) until `count` bytes are in; returns what arrived.
    QByteArray receive(qsizetype count, int timeoutMs = 10000);
    // Waits until the complete(bytes) predicate holds on what arrived.
    QByteArray receiveUntil(const std::function<bool(const QByteArray&)>& complete, int timeoutMs = 10000);
    // Runs the event loop a while and answers what arrived (to see that nothing did).
    QByteArray quietFor(int ms);

protected:
    QByteArray pending_;
};

class TcpPeer : public PeerLink {
public:
    explicit TcpPeer(quint16 port);
    bool send(const QByteArray& bytes) override;
    QByteArray takeAvailable() override;
    QString identifier() const;
    void close();
    QTcpSocket& socket() { return socket_; }

private:
    QTcpSocket socket_;
};

class UdpPeer : public PeerLink {
public:
    explicit UdpPeer(quint16 port);
    bool send(const QByteArray& bytes) override;
    QByteArray takeAvailable() override;

private:
    QUdpSocket socket_;
    quint16 port_;
};

class PtyPeer : public PeerLink {
public:
    explicit PtyPeer(testsupport::PseudoTerminal& pty) : pty_(pty) {}
    bool send(const QByteArray& bytes) override { return pty_.write(bytes); }
    QByteArray takeAvailable() override { return pty_.readAvailable(); }

private:
    testsupport::PseudoTerminal& pty_;
};

struct DeckRig {
    // User defaults live in a temporary folder; a second rig in the same test shares the first's.
    std::unique_ptr<testsupport::TempFolder> folder;
    std::shared_ptr<DeckInterpreter> interpreter = std::make_shared<DeckInterpreter>();
    QMCommunicationModuleController controller;
    std::shared_ptr<QMProtocolParser> parser;
    std::shared_ptr<QMHardwareCommunicator> communicator;
    std::unique_ptr<testsupport::PseudoTerminal> pty;

    explicit DeckRig(std::shared_ptr<QMProtocolParser> parser, std::uint64_t behavior = 4, bool ownFolder = true);
    ~DeckRig();

    std::shared_ptr<QMTCPNetworkHardwareCommunicator> listenTcp();
    std::shared_ptr<QMUDPNetworkHardwareCommunicator> listenUdp();
    std::shared_ptr<QMSerialHardwareCommunicator> openSerial();

    std::unique_ptr<TcpPeer> tcpPeer();
    std::unique_ptr<UdpPeer> udpPeer();
    std::unique_ptr<PtyPeer> ptyPeer();
    quint16 port() const;

    template <class T>
    std::shared_ptr<T> as() const { return std::dynamic_pointer_cast<T>(parser); }

private:
    void attach(std::shared_ptr<QMHardwareCommunicator> c);
};
