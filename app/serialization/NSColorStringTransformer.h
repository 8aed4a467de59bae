#pragma once
// Colours as text: red, green, blue and alpha as shortest decimal doubles joined by single
// blanks ("1 0 0 1" is opaque red).

#include "app/serialization/QMXMLValue.h"

#include <QString>
#include <optional>

class NSColorStringTransformer {
public:
    // Colour -> text; nothing -> nullopt. Any other value throws
    // "NSColorStringTransformer transform failed".
    std::optional<QString> transformedValue(const QMXMLValue& value) const;
    // Text -> colour. A value that is not a text throws "NSColorStringTransformer transform
    // failed". Text that is not exactly four blank-separated parts gives 0 0 0 0.
    QMXMLValue reverseTransformedValue(const QMXMLValue& value) const;

    static bool allowsReverseTransformation() { return true; }
    static QString transformedValueClass() { return QStringLiteral("NSString"); }

    // The two directions on plain values.
    static QString colorText(const QMColor& color);
    static QMColor colorFromText(const QString& text);
};
