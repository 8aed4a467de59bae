#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// A pseudo-terminal pair standing in for a serial line: the code under test opens slavePath()
// like a serial device, the test plays the far end on the master side. Both sides start in raw
// mode (no echo, no line editing, 8-bit clean).
class PseudoTerminal {
public:
    // nonBlocking sets O_NONBLOCK on the master side.
    explicit PseudoTerminal(bool nonBlocking = false);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    int slaveFd() const { return slave_; }
    QString slavePath() const { return slavePath_; }

    // Closes the test's own slave descriptor, so only the code under test holds the line; the
    // master then sees a hang-up once that code closes it too.
    void closeSlave();

    // Writes every byte to the master side; false on error.
    bool write(const QByteArray& bytes);

    // Reads what arrives on the master side until `count` bytes are in or `timeoutMs` passes.
    QByteArray read(int count, int timeoutMs = 5000);

    // Everything already waiting on the master side, without blocking.
    QByteArray readAvailable();

    // Same, but on the slave side, for tests that play both ends themselves.
    bool writeSlave(const QByteArray& bytes);
    QByteArray readSlave(int count, int timeoutMs = 5000);

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace testsupport
