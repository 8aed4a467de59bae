#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NumberFormat.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/StringValue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMetaObject>
#include <QSettings>
#include <QThread>
#include <charconv>
#include <cmath>
#include <limits>

namespace platform {
namespace {

bool isNumeric(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant& v)
{
    return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}

bool isString(const QVariant& v) { return v.typeId() == QMetaType::QString; }

bool isList(const QVariant& v)
{
    return v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList;
}

QString scalarText(const QVariant& v)
{
    // "1"/"0" rather than "true"/"false": as with a boolean number, integer reads then give 1.
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (v.typeId() == QMetaType::Float) {
        // Shortest text of the float itself: 0.1f is "0.1", not its double expansion.
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, v.toFloat());
        return std::isfinite(v.toFloat()) ? QString::fromLatin1(buffer, result.ptr - buffer)
                                          : formatDoubleString(double(v.toFloat()));
    }
    if (isFloating(v))
        return formatDoubleString(v.toDouble());
    if (v.typeId() == QMetaType::ULongLong || v.typeId() == QMetaType::ULong || v.typeId() == QMetaType::UInt)
        return QString::fromStdString(formatUnsigned(v.toULongLong()));
    return formatIntegerString(v.toLongLong());
}

// The form a value has after a trip through the INI file: scalars as text, string lists as
// variant lists, recursively. Holding values in this form from the moment they are set keeps
// reads the same before and after a restart.
QVariant normalized(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool || isNumeric(v))
        return scalarText(v);
    if (isList(v)) {
        QVariantList out;
        for (const QVariant& item : v.toList())
            out.push_back(normalized(item));
        return out;
    }
    if (v.typeId() == QMetaType::QVariantMap) {
        QVariantMap out;
        const QVariantMap in = v.toMap();
        for (auto it = in.begin(); it != in.end(); ++it)
            out.insert(it.key(), normalized(it.value()));
        return out;
    }
    return v;
}

std::int64_t toInteger(const QVariant& v)
{
    if (isString(v))
        return integerValue(v.toString());
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    if (isFloating(v)) {
        const double d = v.toDouble();
        if (std::isnan(d))
            return 0;
        if (d >= 9.2233720368547758e18)
            return std::numeric_limits<std::int64_t>::max();
        if (d <= -9.2233720368547758e18)
            return std::numeric_limits<std::int64_t>::min();
        return std::int64_t(d); // truncates, as NSNumber does
    }
    if (isNumeric(v))
        return v.toLongLong();
    return 0;
}

double toDouble(const QVariant& v)
{
    if (isString(v))
        return doubleValue(v.toString());
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? 1.0 : 0.0;
    if (isNumeric(v))
        return v.toDouble();
    return 0.0;
}

} // namespace

UserDefaults::UserDefaults(QString filePath, QObject* parent)
    : QObject(parent), filePath_(std::move(filePath))
{
    std::lock_guard lock(mutex_);
    loadLocked();
}

UserDefaults::~UserDefaults()
{
    std::lock_guard lock(mutex_);
    flushLocked(nullptr);
}

UserDefaults& UserDefaults::sharedDefaults()
{
    // Destroyed at exit, which writes what is still pending.
    static UserDefaults instance(defaultFilePath());
    static std::once_flag placed;
    std::call_once(placed, [] {
        if (QCoreApplication* app = QCoreApplication::instance(); app && instance.thread() != app->thread())
            instance.moveToThread(app->thread());
    });
    return instance;
}

QString UserDefaults::defaultFilePath()
{
    return configFolder() + QStringLiteral("/Kalvanto.conf");
}

void UserDefaults::setSharedFilePath(const QString& filePath)
{
    UserDefaults& d = sharedDefaults();
    QStringList differing;
    {
        std::lock_guard lock(d.mutex_);
        d.flushLocked(nullptr);
        const QVariantMap before = d.persisted_;
        d.filePath_ = filePath;
        d.loadLocked();
        QStringList keys = before.keys() + d.persisted_.keys();
        keys.removeDuplicates();
        for (const QString& key : keys) {
            const QVariant old = before.contains(key) ? before.value(key) : d.registered_.value(key);
            if (old != d.effectiveLocked(key))
                differing.push_back(key);
        }
    }
    d.announce(differing);
}

QString UserDefaults::filePath() const
{
    std::lock_guard lock(mutex_);
    return filePath_;
}

void UserDefaults::loadLocked()
{
    persisted_.clear();
    dirty_.clear();
    QSettings settings(filePath_, QSettings::IniFormat);
    for (const QString& key : settings.allKeys()) {
        const QVariant v = settings.value(key);
        // An empty list is written as "@Invalid()"; it still is the user's value.
        persisted_.insert(key, v.isValid() ? normalized(v) : QVariant(QVariantList()));
    }
}

bool UserDefaults::flushLocked(Error* error)
{
    flushScheduled_ = false;
    if (dirty_.empty())
        return true;
    const QFileInfo info(filePath_);
    QDir().mkpath(info.absolutePath());
    QSettings settings(filePath_, QSettings::IniFormat);
    for (const QString& key : dirty_) {
        const auto it = persisted_.constFind(key);
        if (it == persisted_.constEnd())
            settings.remove(key);
        else
            settings.setValue(key, it.value());
    }
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        setError(error, Error(QStringLiteral("UserDefaultsErrorDomain"), int(settings.status()),
                              QStringLiteral("The settings could not be saved."),
                              QStringLiteral("Writing \"%1\" failed.").arg(filePath_)));
        return false; // keep the keys dirty: a later attempt may succeed
    }
    dirty_.clear();
    return true;
}

bool UserDefaults::synchronize(Error* error)
{
    std::lock_guard lock(mutex_);
    return flushLocked(error);
}

void UserDefaults::scheduleFlush()
{
    {
        std::lock_guard lock(mutex_);
        if (flushScheduled_)
            return;
        flushScheduled_ = true;
    }
    dispatchOn(this, [this] { synchronize(); });
}

void UserDefaults::announce(const QStringList& keys)
{
    if (keys.isEmpty())
        return;
    if (QThread::currentThread() == thread()) {
        for (const QString& key : keys)
            emit changed(key);
    } else {
        dispatchOn(this, [this, keys] {
            for (const QString& key : keys)
                emit changed(key);
        });
    }
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    QStringList differing;
    {
        std::lock_guard lock(mutex_);
        for (auto it = defaults.begin(); it != defaults.end(); ++it) {
            const QVariant before = effectiveLocked(it.key());
            registered_.insert(it.key(), it.value());
            if (before != effectiveLocked(it.key()))
                differing.push_back(it.key());
        }
    }
    announce(differing);
}

bool UserDefaults::registerDefaultsFromFile(const QString& jsonPath, Error* error)
{
    QFile file(jsonPath);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, Error(QStringLiteral("UserDefaultsErrorDomain"), 1,
                              QStringLiteral("The default settings could not be read."),
                              QStringLiteral("\"%1\": %2").arg(jsonPath, file.errorString())));
        return false;
    }
    QJsonParseError parseError {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        setError(error, Error(QStringLiteral("UserDefaultsErrorDomain"), 2,
                              QStringLiteral("The default settings are damaged."),
                              QStringLiteral("\"%1\" at offset %2: %3")
                                  .arg(jsonPath)
                                  .arg(parseError.offset)
                                  .arg(parseError.error != QJsonParseError::NoError
                                           ? parseError.errorString()
                                           : QStringLiteral("not an object"))));
        return false;
    }
    registerDefaults(document.object().toVariantMap());
    return true;
}

QVariantMap UserDefaults::registeredDefaults() const
{
    std::lock_guard lock(mutex_);
    return registered_;
}

QVariant UserDefaults::effectiveLocked(const QString& key) const
{
    const auto it = persisted_.constFind(key);
    if (it != persisted_.constEnd())
        return it.value();
    return registered_.value(key);
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    std::lock_guard lock(mutex_);
    return effectiveLocked(key);
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (isString(v))
        return v.toString();
    if (v.typeId() == QMetaType::Bool || isNumeric(v))
        return scalarText(v);
    return {};
}

QStringList UserDefaults::stringArrayForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (!isList(v))
        return {};
    QStringList out;
    for (const QVariant& item : v.toList()) {
        if (!isString(item))
            return {};
        out.push_back(item.toString());
    }
    return out;
}

QVariantList UserDefaults::arrayForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return isList(v) ? v.toList() : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

QByteArray UserDefaults::dataForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

std::int64_t UserDefaults::integerForKey(const QString& key) const { return toInteger(objectForKey(key)); }

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (isString(v))
        return boolValue(v.toString());
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isNumeric(v))
        return v.toDouble() != 0.0;
    return false;
}

double UserDefaults::doubleForKey(const QString& key) const { return toDouble(objectForKey(key)); }

float UserDefaults::floatForKey(const QString& key) const { return float(toDouble(objectForKey(key))); }

bool UserDefaults::isPersisted(const QString& key) const
{
    std::lock_guard lock(mutex_);
    return persisted_.contains(key);
}

bool UserDefaults::isRegistered(const QString& key) const
{
    std::lock_guard lock(mutex_);
    return registered_.contains(key);
}

QVariantMap UserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(mutex_);
    QVariantMap all = registered_;
    for (auto it = persisted_.begin(); it != persisted_.end(); ++it)
        all.insert(it.key(), it.value());
    return all;
}

QStringList UserDefaults::persistedKeys() const
{
    std::lock_guard lock(mutex_);
    return persisted_.keys();
}

void UserDefaults::storeLocked(const QString& key, const QVariant& value)
{
    if (value.isValid())
        persisted_.insert(key, normalized(value));
    else
        persisted_.remove(key);
    dirty_.insert(key);
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    bool differs = false;
    {
        std::lock_guard lock(mutex_);
        const QVariant before = effectiveLocked(key);
        storeLocked(key, value);
        differs = before != effectiveLocked(key);
    }
    scheduleFlush();
    if (differs)
        announce({key});
}

void UserDefaults::setInteger(std::int64_t value, const QString& key) { setObject(QVariant(qint64(value)), key); }
void UserDefaults::setBool(bool value, const QString& key) { setObject(QVariant(value), key); }
void UserDefaults::setDouble(double value, const QString& key) { setObject(QVariant(value), key); }
void UserDefaults::setFloat(float value, const QString& key) { setObject(QVariant(value), key); }
void UserDefaults::removeObjectForKey(const QString& key) { setObject(QVariant(), key); }

} // namespace platform
