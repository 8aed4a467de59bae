#include "platform/foundation/Xml.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/XmlReading.h"

#include <QFile>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstring>
#include <string_view>

namespace platform {

// --- XmlElement ---

bool XmlElement::hasAttribute(QAnyStringView name) const { return findAttribute(name).has_value(); }

QString XmlElement::attribute(QAnyStringView name, const QString& fallback) const
{
    return findAttribute(name).value_or(fallback);
}

std::optional<QString> XmlElement::findAttribute(QAnyStringView name) const
{
    for (const Attribute& a : attributes_)
        if (QAnyStringView::equal(a.first, name))
            return a.second;
    return std::nullopt;
}

void XmlElement::setAttribute(const QString& name, const QString& value)
{
    for (Attribute& a : attributes_) {
        if (a.first == name) {
            a.second = value;
            return;
        }
    }
    attributes_.emplace_back(name, value);
}

bool XmlElement::removeAttribute(const QString& name)
{
    const auto it = std::find_if(attributes_.begin(), attributes_.end(),
                                 [&](const Attribute& a) { return a.first == name; });
    if (it == attributes_.end())
        return false;
    attributes_.erase(it);
    return true;
}

XmlElement& XmlElement::appendChild(XmlElement child)
{
    children_.push_back(std::move(child));
    return children_.back();
}

const XmlElement* XmlElement::firstChild(QAnyStringView name) const
{
    for (const XmlElement& c : children_)
        if (QAnyStringView::equal(c.name_, name))
            return &c;
    return nullptr;
}

XmlElement* XmlElement::firstChild(QAnyStringView name)
{
    return const_cast<XmlElement*>(std::as_const(*this).firstChild(name));
}

std::vector<const XmlElement*> XmlElement::childrenNamed(QAnyStringView name) const
{
    std::vector<const XmlElement*> out;
    for (const XmlElement& c : children_)
        if (QAnyStringView::equal(c.name_, name))
            out.push_back(&c);
    return out;
}

QString XmlElement::childText(QAnyStringView name, const QString& fallback) const
{
    const XmlElement* child = firstChild(name);
    return child ? child->text_ : fallback;
}

// --- writing ---

namespace {

// The characters XML 1.0 can hold.
bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

} // namespace

QString xmlSafeText(const QString& text)
{
    // Fast path: most text needs nothing removed.
    bool clean = true;
    for (qsizetype i = 0; i < text.size() && clean; ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isSurrogate(u) || !isXmlChar(u))
            clean = false;
    }
    if (clean)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            if (isXmlChar(QChar::surrogateToUcs4(u, text[i + 1].unicode()))) {
                out.append(text[i]);
                out.append(text[i + 1]);
            }
            ++i;
        } else if (!QChar::isSurrogate(u) && isXmlChar(u)) {
            out.append(text[i]);
        }
    }
    return out;
}

namespace {

// UTF-8 output in one growing buffer. Every text passes the same filter as xmlSafeText on the
// way in.
class XmlOutput {
public:
    enum class Escape {
        None,      // names
        Text,      // markup characters; a carriage return as a character reference, since a
                   // literal one would be read back as a line feed (line-end normalisation)
        Attribute, // markup characters and all line breaks and tabs (attribute normalisation)
    };

    QByteArray bytes;

    void append(std::string_view text) { std::memcpy(room(qsizetype(text.size())), text.data(), text.size()); }
    void append(char c) { *room(1) = c; }
    void appendSpaces(qsizetype count) { std::memset(room(count), ' ', std::size_t(count)); }

    void append(const QString& text, Escape escape)
    {
        const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());
        const qsizetype n = text.size();
        // At most six bytes per UTF-16 unit ("&quot;"); the unused end is given back below.
        char* const start = room(n * 6);
        char* d = start;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = s[i];
            if (u < 0x80) {
                if (escape != Escape::None && escapeAscii(char(u), escape, d))
                    continue;
                if (u >= 0x20 || u == '\t' || u == '\n' || u == '\r')
                    *d++ = char(u);
            } else if (u < 0x800) {
                *d++ = char(0xC0 | (u >> 6));
                *d++ = char(0x80 | (u & 0x3F));
            } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
                const char32_t c = QChar::surrogateToUcs4(u, s[++i]);
                *d++ = char(0xF0 | (c >> 18));
                *d++ = char(0x80 | ((c >> 12) & 0x3F));
                *d++ = char(0x80 | ((c >> 6) & 0x3F));
                *d++ = char(0x80 | (c & 0x3F));
            } else if (!QChar::isSurrogate(u) && isXmlChar(u)) {
                *d++ = char(0xE0 | (u >> 12));
                *d++ = char(0x80 | ((u >> 6) & 0x3F));
                *d++ = char(0x80 | (u & 0x3F));
            }
        }
        bytes.resize(bytes.size() - (n * 6 - (d - start)));
    }

private:
    // count more bytes at the end, growing the buffer by at least half so appends stay cheap.
    char* room(qsizetype count)
    {
        const qsizetype size = bytes.size();
        if (bytes.capacity() < size + count)
            bytes.reserve(std::max(size + count, bytes.capacity() + bytes.capacity() / 2 + 4096));
        bytes.resize(size + count);
        return bytes.data() + size;
    }

    // True when c was written as a reference.
    static bool escapeAscii(char c, Escape escape, char*& d)
    {
        const auto put = [&d](std::string_view reference) {
            std::memcpy(d, reference.data(), reference.size());
            d += reference.size();
            return true;
        };
        switch (c) {
        case '<': return put("&lt;");
        case '>': return put("&gt;");
        case '&': return put("&amp;");
        case '"': return put("&quot;");
        case '\r': return put("&#13;");
        case '\n': return escape == Escape::Attribute && put("&#10;");
        case '\t': return escape == Escape::Attribute && put("&#9;");
        default: return false;
        }
    }
};

// An element with text is written on one line, children included (mixed content must not gain
// whitespace); an element with only children gets one child per line.
struct Layout {
    bool pretty;
    int indent;
};

void newLine(XmlOutput& out, const Layout& layout, int depth)
{
    out.append('\n');
    out.appendSpaces(qsizetype(layout.indent) * depth);
}

void writeElement(XmlOutput& out, const XmlElement& e, const Layout& layout, int depth)
{
    out.append('<');
    out.append(e.name(), XmlOutput::Escape::None);
    for (const auto& [name, value] : e.attributes()) {
        out.append(' ');
        out.append(name, XmlOutput::Escape::None);
        out.append("=\"");
        out.append(value, XmlOutput::Escape::Attribute);
        out.append('"');
    }
    const bool hasText = !xmlSafeText(e.text()).isEmpty();
    if (!hasText && e.children().empty()) {
        out.append("/>");
        return;
    }
    out.append('>');
    const bool indentChildren = layout.pretty && e.text().isEmpty();
    if (hasText)
        out.append(e.text(), XmlOutput::Escape::Text);
    for (const XmlElement& child : e.children()) {
        if (indentChildren)
            newLine(out, layout, depth + 1);
        writeElement(out, child, Layout {indentChildren, layout.indent}, depth + 1);
    }
    if (indentChildren && !e.children().empty())
        newLine(out, layout, depth);
    out.append("</");
    out.append(e.name(), XmlOutput::Escape::None);
    out.append('>');
}

} // namespace

QByteArray writeXml(const XmlElement& root, const XmlWriteOptions& options)
{
    XmlOutput out;
    const Layout layout {options.pretty, std::clamp(options.indent, 0, 16)};
    if (options.declaration) {
        out.append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        if (options.pretty)
            out.append('\n');
    }
    writeElement(out, root, layout, 0);
    if (options.pretty)
        out.append('\n'); // pretty output ends with exactly one line break, compact output with none
    return std::move(out.bytes);
}

bool writeXmlFile(const QString& path, const XmlElement& root, const XmlWriteOptions& options, Error* error)
{
    return writeFileAtomically(path, writeXml(root, options), error);
}

// --- reading ---

std::optional<XmlElement> XmlReading::readStream(const QByteArray& data, const XmlReadLimits& limits,
                                                 XmlReadFailure& failure)
{
    if (data.size() > limits.maxBytes) {
        failure = {1, 1, QStringLiteral("the document is larger than %1 bytes").arg(limits.maxBytes),
                   kXmlLimitExceeded};
        return std::nullopt;
    }
    QXmlStreamReader r(data);
    // Qualified names and xmlns attributes are kept as written, so a read-write trip keeps them.
    r.setNamespaceProcessing(false);
    std::vector<XmlElement> stack;
    // Per depth, the whitespace read so far in an element that has no other text yet. It becomes
    // the element's text only when other text follows or no child does, so layout between child
    // elements costs no allocation; the buffers are reused from element to element.
    std::vector<QString> spaces;
    std::optional<XmlElement> root;
    XmlTextPool pool;
    const auto fail = [&](const QString& message, int code = kXmlMalformed) {
        failure = {r.lineNumber(), r.columnNumber(), message, code};
        return std::nullopt;
    };
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (int(stack.size()) >= limits.maxDepth)
                return fail(QStringLiteral("elements are nested deeper than %1 levels").arg(limits.maxDepth),
                            kXmlLimitExceeded);
            XmlElement& e = stack.emplace_back(pool.get(r.qualifiedName()));
            if (spaces.size() < stack.size())
                spaces.emplace_back();
            const QXmlStreamAttributes attributes = r.attributes();
            // The reader refuses a repeated attribute, so each is appended as it comes.
            e.attributes_.reserve(attributes.size());
            for (const QXmlStreamAttribute& a : attributes)
                e.attributes_.emplace_back(pool.get(a.qualifiedName()), pool.get(a.value()));
            break;
        }
        case QXmlStreamReader::EndElement: {
            XmlElement e = std::move(stack.back());
            stack.pop_back();
            QString& space = spaces[stack.size()];
            // Whitespace between child elements is layout, not content.
            if (e.text_.isEmpty()) {
                if (e.children_.empty() && !space.isEmpty())
                    e.text_ = QString(space);
            } else if (!e.children_.empty() && e.text_.trimmed().isEmpty()) {
                e.text_ = QString();
            }
            space.truncate(0);
            if (stack.empty())
                root = std::move(e);
            else
                stack.back().appendChild(std::move(e));
            break;
        }
        case QXmlStreamReader::Characters:
            if (!stack.empty()) {
                XmlElement& e = stack.back();
                QString& space = spaces[stack.size() - 1];
                if (e.text_.isEmpty() && r.isWhitespace()) {
                    space.append(r.text());
                } else {
                    if (!space.isEmpty()) {
                        e.text_.append(space);
                        space.truncate(0);
                    }
                    e.text_.append(r.text());
                }
            }
            break;
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("unresolved entity reference \"&%1;\"").arg(r.name()));
        default: // declaration, comments, processing instructions, DOCTYPE
            break;
        }
    }
    if (r.hasError())
        return fail(r.errorString());
    if (!root)
        return fail(QStringLiteral("the document has no root element"));
    return root;
}

namespace {

QString describe(const XmlReadFailure& f)
{
    return QStringLiteral("line %1, column %2: %3").arg(f.line).arg(f.column).arg(f.message);
}

std::optional<XmlElement> read(const QByteArray& data, const XmlReadLimits& limits, XmlReadFailure& failure)
{
    if (data.size() <= limits.maxBytes)
        if (std::optional<XmlElement> root = XmlReading::readPlain(data, limits.maxDepth))
            return root;
    return XmlReading::readStream(data, limits, failure);
}

} // namespace

XmlElement parseXml(const QByteArray& data, const XmlReadLimits& limits)
{
    XmlReadFailure failure;
    std::optional<XmlElement> root = read(data, limits, failure);
    if (!root)
        Exception::raise(QString::fromLatin1(kXmlParseException), describe(failure));
    return std::move(*root);
}

XmlElement parseXmlFile(const QString& path, const XmlReadLimits& limits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Exception::raise(QString::fromLatin1(kFileException), QStringLiteral("\"%1\": %2"), path, file.errorString());
    if (file.size() > limits.maxBytes)
        Exception::raise(QString::fromLatin1(kXmlParseException),
                         QStringLiteral("\"%1\" is larger than %2 bytes"), path, limits.maxBytes);
    // A file of known size is read in one piece of that size; what it has grown by since, or a
    // file of unknown size, is read up to the limit.
    QByteArray data = file.size() > 0 ? file.read(file.size()) : QByteArray();
    if (!file.atEnd() && data.size() <= limits.maxBytes)
        data += file.read(limits.maxBytes + 1 - data.size());
    try {
        return parseXml(data, limits);
    } catch (const Exception& e) {
        Exception::raise(e.name(), QStringLiteral("\"%1\" %2"), path, e.reason());
    }
}

std::optional<XmlElement> readXml(const QByteArray& data, Error* error, const XmlReadLimits& limits)
{
    XmlReadFailure failure;
    std::optional<XmlElement> root = read(data, limits, failure);
    if (!root)
        setError(error, Error(QString::fromLatin1(kXmlErrorDomain), failure.code,
                              QStringLiteral("The XML data could not be read."), describe(failure)));
    return root;
}

} // namespace platform
