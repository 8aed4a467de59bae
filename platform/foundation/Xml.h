#pragma once
// A small XML element tree for our documents ("*.klv3") and device lists
// ("commModuleDevices.xml"): element name, attributes in their given order, child elements and
// text. Written straight as UTF-8, in the bytes QXmlStreamWriter would give; read with
// QXmlStreamReader, or, for plain documents such as those we write, by a direct reader that
// builds the same tree faster. The same tree always gives the same bytes.
//
// Text: an element's text() is the character data directly inside it (CDATA included). In an
// element that has child elements, whitespace-only runs are layout and are dropped. Comments,
// processing instructions and the DOCTYPE are skipped on reading.

#include "platform/foundation/Error.h"

#include <QAnyStringView>
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace platform {

class XmlElement {
public:
    using Attribute = std::pair<QString, QString>;

    XmlElement() = default;
    explicit XmlElement(QString name) : name_(std::move(name)) {}
    XmlElement(QString name, QString text) : name_(std::move(name)), text_(std::move(text)) {}

    const QString& name() const { return name_; }
    void setName(QString name) { name_ = std::move(name); }

    // --- attributes, in insertion order ---
    const std::vector<Attribute>& attributes() const { return attributes_; }
    // Names are looked up as any string view, so a literal name costs no allocation.
    bool hasAttribute(QAnyStringView name) const;
    QString attribute(QAnyStringView name, const QString& fallback = {}) const;
    std::optional<QString> findAttribute(QAnyStringView name) const;
    // Replaces the value in place when the name exists, else appends.
    void setAttribute(const QString& name, const QString& value);
    bool removeAttribute(const QString& name);

    // --- children, in document order ---
    const std::vector<XmlElement>& children() const { return children_; }
    std::vector<XmlElement>& children() { return children_; }
    // Appends and returns the stored child (references stay valid until the next append).
    XmlElement& appendChild(XmlElement child);
    XmlElement& appendChild(QString name) { return appendChild(XmlElement(std::move(name))); }
    const XmlElement* firstChild(QAnyStringView name) const;
    XmlElement* firstChild(QAnyStringView name);
    std::vector<const XmlElement*> childrenNamed(QAnyStringView name) const;
    // Text of the first child called name (fallback when there is none).
    QString childText(QAnyStringView name, const QString& fallback = {}) const;

    // --- text ---
    const QString& text() const { return text_; }
    void setText(QString text) { text_ = std::move(text); }
    void appendText(QStringView text) { text_.append(text); }

    bool operator==(const XmlElement& other) const = default;

private:
    friend struct XmlReading;
    QString name_;
    std::vector<Attribute> attributes_;
    std::vector<XmlElement> children_;
    QString text_;
};

struct XmlWriteOptions {
    // One element per line, indented; an element with text keeps its children on its own line
    // (mixed content must not gain whitespace). false = everything on one line.
    bool pretty = true;
    int indent = 4;           // spaces per level when pretty
    bool declaration = true;  // <?xml version="1.0" encoding="UTF-8"?>
};

struct XmlReadLimits {
    int maxDepth = 256;                        // element nesting
    std::int64_t maxBytes = 256 * 1024 * 1024; // input size
};

// Removes the characters XML 1.0 cannot hold (most C0 controls, lone surrogates, U+FFFE/FFFF).
QString xmlSafeText(const QString& text);

// Serializes root as UTF-8. Never fails: names, attribute values and text pass through
// xmlSafeText first. Pretty output ends with one newline, compact output with none. Carriage
// returns in text are written as "&#13;" so that they survive reading.
QByteArray writeXml(const XmlElement& root, const XmlWriteOptions& options = {});
// Writes atomically (temporary file in the same folder, fsync, rename).
bool writeXmlFile(const QString& path, const XmlElement& root, const XmlWriteOptions& options,
                  Error* error = nullptr);

// Parses a document and returns its root element. Throws Exception named kXmlParseException
// with "line L, column C: ..." for malformed input, too deep nesting or too large input.
XmlElement parseXml(const QByteArray& data, const XmlReadLimits& limits = {});
XmlElement parseXmlFile(const QString& path, const XmlReadLimits& limits = {});
// Non-throwing form: nullopt with error (domain kXmlErrorDomain, code kXmlMalformed or
// kXmlLimitExceeded, failureReason "line L, column C: ...") on failure.
inline constexpr int kXmlMalformed = 1;
inline constexpr int kXmlLimitExceeded = 2;
inline constexpr const char* kXmlErrorDomain = "XmlErrorDomain";
std::optional<XmlElement> readXml(const QByteArray& data, Error* error = nullptr,
                                  const XmlReadLimits& limits = {});

} // namespace platform
