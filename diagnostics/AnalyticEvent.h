#pragma once
// The vocabulary by which a product declares usage events with typed properties, turns them
// into an event name and text properties, and records them through a recorder (Diagnostics).
//
// An event type lists its wrapped properties explicitly, in declaration order:
//
//   struct ExportEvent : AnalyticEventRepresentable, CodableAnalyticEventProperties {
//       AnalyticEventProperty<bool> hd {true, "hd"};
//       AnalyticEventProperty<QSizeF> size {{1920, 1080}, "size"};
//       QString name() const override { return "Export"; }
//       std::optional<AnalyticProperties> properties() const override { return analyticProperties(); }
//       std::vector<const CodableAnalyticEventProperty*> wrappedProperties() const override
//       { return {&hd, &size}; }
//   };

#include <QMap>
#include <QSizeF>
#include <QString>

#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <type_traits>
#include <vector>

namespace QMDiagnostics {

// Reserved: the namespace under which a product declares its event types.
namespace Analytic {
}

using AnalyticProperties = QMap<QString, QString>;

struct AnalyticEvent {
    QString name;
    std::optional<AnalyticProperties> properties;
};

// --- text forms of the values that can stand as a property -----------------------------------------
QString analyticValue(const QString& value);
QString analyticValue(std::int64_t value);
QString analyticValue(std::uint32_t value);
QString analyticValue(double value);       // shortest round-trip form, "2.0" for whole values
QString analyticValue(const QSizeF& value); // "{1920.0, 1080.0}"
QString analyticValue(bool value);          // "true" / "false"
// Enumerations with text raw values take the raw value: give the type a rawValue() member.
template <class T>
    requires requires(const T& v) { { v.rawValue() } -> std::convertible_to<QString>; }
QString analyticValue(const T& value)
{
    return value.rawValue();
}

template <class T>
concept AnalyticEventPropertyValue = requires(const T& v) {
    { analyticValue(v) } -> std::convertible_to<QString>;
};

class CodableAnalyticEventProperty {
public:
    virtual ~CodableAnalyticEventProperty() = default;
    // Writes this property's entry into an event's dictionary.
    virtual void add(AnalyticProperties& properties) const = 0;
};

template <class T>
struct IsOptionalAnalyticValue : std::false_type {};
template <class T>
struct IsOptionalAnalyticValue<std::optional<T>> : std::bool_constant<AnalyticEventPropertyValue<T>> {};

template <class T>
    requires AnalyticEventPropertyValue<T> || IsOptionalAnalyticValue<T>::value
class AnalyticEventProperty : public CodableAnalyticEventProperty {
public:
    AnalyticEventProperty(T wrappedValue, QString key) : wrappedValue(std::move(wrappedValue)), key(std::move(key)) {}

    void add(AnalyticProperties& properties) const override { properties.insert(key, analyticValue(wrappedValue)); }

    T wrappedValue;
    QString key;
};

// A property that may hold no value: without one it writes nothing.
template <class T>
    requires AnalyticEventPropertyValue<T>
class AnalyticEventProperty<std::optional<T>> : public CodableAnalyticEventProperty {
public:
    explicit AnalyticEventProperty(QString key) : key(std::move(key)) {}
    AnalyticEventProperty(std::optional<T> wrappedValue, QString key)
        : wrappedValue(std::move(wrappedValue)), key(std::move(key))
    {
    }

    void add(AnalyticProperties& properties) const override
    {
        if (wrappedValue)
            properties.insert(key, analyticValue(*wrappedValue));
    }

    std::optional<T> wrappedValue;
    QString key;
};

class CodableAnalyticEventProperties {
public:
    virtual ~CodableAnalyticEventProperties() = default;
    // The type's wrapped properties in declaration order.
    virtual std::vector<const CodableAnalyticEventProperty*> wrappedProperties() const = 0;
    // Each wrapped property adds its entry in order; a later key replaces an earlier one.
    AnalyticProperties analyticProperties() const;
};

class AnalyticEventRecorder {
public:
    virtual ~AnalyticEventRecorder() = default;
    virtual void record(const QString& name, const std::optional<AnalyticProperties>& properties) = 0;
};

class AnalyticEventRecordable {
public:
    virtual ~AnalyticEventRecordable() = default;
    virtual void record(const std::function<AnalyticEventRecorder&()>& recorder) const = 0;
};

class AnalyticEventRepresentable : public AnalyticEventRecordable {
public:
    virtual QString name() const = 0;
    virtual std::optional<AnalyticProperties> properties() const = 0;

    AnalyticEvent analyticEvent() const { return {name(), properties()}; }
    void record(const std::function<AnalyticEventRecorder&()>& recorder) const override
    {
        recorder().record(name(), properties());
    }
};

} // namespace QMDiagnostics
