#pragma once
// Starting a service program with its end of a fresh socket pair as file descriptor 3. Its
// standard output and error stay those of the application (the engine writes its log lines
// there). The child is killed when the application dies (PR_SET_PDEATHSIG).

#include <QString>
#include <QStringList>

class QObject;
class QProcess;

namespace platform {

// The descriptor a service reads its connection from.
inline constexpr int kXpcServiceFd = 3;

struct XpcSpawned {
    QProcess* process = nullptr; // started, owned by the parent given
    int fd = -1;                 // the application's end (close-on-exec), owned by the caller
};

// Starts program; on failure returns {nullptr, -1} and says why in *error.
XpcSpawned spawnXpcService(const QString& program, const QStringList& arguments, QObject* parent,
                           QString* error = nullptr);

} // namespace platform
