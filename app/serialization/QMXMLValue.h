#pragma once
// One value of the serialized tree: nothing, a text, a number (with its stored type), a date, a
// colour, an ordered list, a keyed map or a model object.

#include "app/serialization/QMXMLNumber.h"
#include "app/serialization/QMXMLSerializing.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <variant>
#include <vector>

// An RGBA colour; components are doubles so that their text reads back unchanged.
struct QMColor {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 0.0;
    bool operator==(const QMColor&) const = default;
};

struct QMXMLDictionaryEntry;

class QMXMLValue {
public:
    using Array = std::vector<QMXMLValue>;
    // Entries in their iteration order. Keys are values so that a key that is not a text can be
    // refused when the map is written.
    using Dictionary = std::vector<QMXMLDictionaryEntry>;
    using Object = std::shared_ptr<QMXMLSerializing>;

    QMXMLValue(); // nothing
    ~QMXMLValue();
    QMXMLValue(const QMXMLValue&);
    QMXMLValue(QMXMLValue&&) noexcept;
    QMXMLValue& operator=(const QMXMLValue&);
    QMXMLValue& operator=(QMXMLValue&&) noexcept;
    // Defined out of line, where the map entry type is complete (the variant needs it).
    QMXMLValue(QString text);
    QMXMLValue(const char* text);
    QMXMLValue(QMXMLNumber number);
    QMXMLValue(QDateTime date);
    QMXMLValue(QMColor color);
    QMXMLValue(Array array);
    QMXMLValue(Dictionary dictionary);
    QMXMLValue(Object object);
    template <class T>
        requires std::is_base_of_v<QMXMLSerializing, T>
    QMXMLValue(std::shared_ptr<T> object) : QMXMLValue(Object(std::move(object)))
    {
    }

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool isString() const { return std::holds_alternative<QString>(v_); }
    bool isNumber() const { return std::holds_alternative<QMXMLNumber>(v_); }
    bool isDate() const { return std::holds_alternative<QDateTime>(v_); }
    bool isColor() const { return std::holds_alternative<QMColor>(v_); }
    bool isArray() const { return std::holds_alternative<Array>(v_); }
    bool isDictionary() const { return std::holds_alternative<Dictionary>(v_); }
    bool isObject() const { return std::holds_alternative<Object>(v_); }

    // Accessors; each answers an empty value when the kind differs.
    QString toString() const;
    QMXMLNumber toNumber() const;
    QDateTime toDate() const;
    QMColor toColor() const;
    const Array& toArray() const;
    const Dictionary& toDictionary() const;
    Object toObject() const;
    template <class T>
    std::shared_ptr<T> objectAs() const
    {
        return std::dynamic_pointer_cast<T>(toObject());
    }
    // The value under a text key of a map (nothing when absent or not a map).
    QMXMLValue value(const QString& key) const;

    // "NSString", "NSNumber", "NSDate", "NSColor", "array", "dictionary", the object's class
    // name, or "nil".
    QString className() const;
    // A short description for messages: the text form of scalars, the class name otherwise.
    QString description() const;

    // Deep duplicate: lists and maps are rebuilt, objects duplicated (QMDuplicating), else
    // copied (QMCopying), else shared.
    QMXMLValue duplicate() const;

    // Structural equality; objects compare by identity.
    bool operator==(const QMXMLValue& other) const;

private:
    std::variant<std::monostate, QString, QMXMLNumber, QDateTime, QMColor, Array, Dictionary, Object> v_;
};

struct QMXMLDictionaryEntry {
    QMXMLValue key;
    QMXMLValue value;
    bool operator==(const QMXMLDictionaryEntry&) const = default;
};
