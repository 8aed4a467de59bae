#pragma once
// The user's settings: a persisted layer (INI file through QSettings) over a registered layer
// (the application's built-in defaults, never written to disk). A read returns the persisted
// value when there is one, else the registered one, else nothing.
//
// Scalars come back from the INI file as text, so typed getters coerce like NSUserDefaults did,
// with the NSString rules of StringValue.h: integerForKey of "12abc" is 12, boolForKey of "NO"
// is false. To keep one behaviour before and after a restart, stored values are held in the
// form the file gives back from the moment they are set: numbers as their shortest text,
// bools as "1"/"0", string lists as variant lists, recursively inside lists and maps; byte
// arrays and other types keep theirs. Registered defaults are kept as given.
//
// Thread safety: every getter and setter may be called from any thread (one internal lock).
// changed(key) is emitted on the thread the object lives on (queued when set elsewhere),
// whenever a key's effective value changes (set, remove, or a newly registered default).
// Writes reach the file on synchronize(), on the next event-loop turn of the object's thread,
// and on destruction.

#include "platform/foundation/Error.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

namespace platform {

class UserDefaults : public QObject {
    Q_OBJECT
public:
    // Settings stored in the INI file at filePath.
    explicit UserDefaults(QString filePath, QObject* parent = nullptr);
    ~UserDefaults() override;

    // The application's settings: $XDG_CONFIG_HOME/Quenmark/Kalvanto.conf (defaultFilePath()),
    // created on first use and moved to the main thread. Tests redirect it with
    // setSharedFilePath before or after first use (QStandardPaths test mode also redirects it).
    static UserDefaults& sharedDefaults();
    static QString defaultFilePath();
    // Points the shared instance at another file: pending writes go to the old file, then the
    // persisted layer is reloaded from the new one. Registered defaults are kept.
    static void setSharedFilePath(const QString& filePath);

    QString filePath() const;

    // --- registered layer ---
    // Adds (or replaces) registered defaults. A registered value never hides a persisted one.
    void registerDefaults(const QVariantMap& defaults);
    // Registers the top-level object of a JSON file (":/standardDefaults.json" and the like).
    bool registerDefaultsFromFile(const QString& jsonPath, Error* error = nullptr);
    // The application's "standardDefaults" resource.
    static constexpr const char* kStandardDefaultsResource = ":/standardDefaults.json";
    bool registerStandardDefaults(Error* error = nullptr)
    {
        return registerDefaultsFromFile(QString::fromLatin1(kStandardDefaultsResource), error);
    }
    QVariantMap registeredDefaults() const;

    // --- reads ---
    // Persisted value, else registered, else an invalid QVariant.
    QVariant objectForKey(const QString& key) const;
    // Text; numbers and bools give their text; anything else a null QString.
    QString stringForKey(const QString& key) const;
    QStringList stringArrayForKey(const QString& key) const; // empty unless a list of strings
    QVariantList arrayForKey(const QString& key) const;       // empty unless a list
    QVariantMap dictionaryForKey(const QString& key) const;   // empty unless a map
    QByteArray dataForKey(const QString& key) const;          // empty unless a byte array
    std::int64_t integerForKey(const QString& key) const;     // 0 when absent or not a number
    bool boolForKey(const QString& key) const;                // false when absent
    double doubleForKey(const QString& key) const;
    float floatForKey(const QString& key) const;

    bool isPersisted(const QString& key) const; // the user's own value exists
    bool isRegistered(const QString& key) const;
    // Every effective key and value (persisted over registered).
    QVariantMap dictionaryRepresentation() const;
    QStringList persistedKeys() const;

    // --- writes ---
    // Stores value; an invalid QVariant removes the key.
    void setObject(const QVariant& value, const QString& key);
    void setInteger(std::int64_t value, const QString& key);
    void setBool(bool value, const QString& key);
    void setDouble(double value, const QString& key);
    void setFloat(float value, const QString& key);
    void removeObjectForKey(const QString& key);

    // Writes pending changes to the file now. False (with error) when the file cannot be written.
    bool synchronize(Error* error = nullptr);

signals:
    void changed(const QString& key);

private:
    QVariant effectiveLocked(const QString& key) const;
    void storeLocked(const QString& key, const QVariant& value); // invalid = remove
    void loadLocked();
    bool flushLocked(Error* error);
    void scheduleFlush();
    void announce(const QStringList& keys);

    mutable std::mutex mutex_;
    QString filePath_;
    QVariantMap persisted_;
    QVariantMap registered_;
    std::set<QString> dirty_;
    bool flushScheduled_ = false;
};

} // namespace platform
