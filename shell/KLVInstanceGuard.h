#pragma once
// One program per document: the process that has a data file open answers on a local socket
// named after the file (per user, in the abstract namespace, so a crashed holder leaves nothing
// behind). A second program started on the same data file finds it there, hands over the
// documents of its command line and quits instead of becoming a second writer of the file.
// Main thread.

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

class QLocalServer;

class KLVInstanceGuard : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Held,       // this process holds the document
        HandedOver, // another process holds it and took the documents
        Busy        // another process holds it but did not answer
    };

    explicit KLVInstanceGuard(QObject* parent = nullptr);
    ~KLVInstanceGuard() override;

    // Takes the document at `path` for this process; when another process holds it, `documents`
    // are handed to that one instead.
    Claim claim(const QString& path, const QStringList& documents = {});
    // Lets go of the document at `path`.
    void release(const QString& path);
    // Takes the document at `path` as well (before opening or making it); false when another
    // process holds it.
    bool acquire(const QString& path);
    bool holds(const QString& path) const { return servers_.count(serverName(path)) != 0; }

    // The socket name of a document (depends on the user and the file's canonical path).
    static QString serverName(const QString& path);

signals:
    // Documents another program was started with while this one held its data file.
    void documentsReceived(const QStringList& documents);

private:
    bool listen(const QString& path);
    void serve(QLocalServer* server);

    std::map<QString, QLocalServer*> servers_; // by server name
};
