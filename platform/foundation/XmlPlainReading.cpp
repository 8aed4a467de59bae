#include "platform/foundation/XmlReading.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace platform {

namespace {

constexpr std::string_view kDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-'; }

// A code point a document may hold, leaving out C1 controls, noncharacters and the byte order
// mark, which the general reader is not asked to agree on.
bool isPlainChar(char32_t c)
{
    if (c < 0x20)
        return c == '\t' || c == '\n';
    if (c < 0x7F)
        return true;
    if (c < 0xA0 || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xFDD0 && c <= 0xFDEF) || c == 0xFEFF
        || (c & 0xFFFE) == 0xFFFE)
        return false;
    return c <= 0x10FFFF;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

// One pass over the bytes. Every method answers false when the input leaves the plain form.
class XmlReading::PlainParser {
public:
    PlainParser(const QByteArray& data, int maxDepth)
        : p_(data.constData()), end_(data.constData() + data.size()), maxDepth_(maxDepth)
    {
    }

    std::optional<XmlElement> parse()
    {
        if (std::string_view(p_, std::size_t(end_ - p_)).starts_with(kDeclaration))
            p_ += kDeclaration.size();
        skipSpace();
        if (!element())
            return std::nullopt;
        skipSpace();
        if (p_ != end_)
            return std::nullopt;
        return std::move(root_);
    }

private:
    struct Open {
        XmlElement element;
        std::string_view name;
        std::string text; // character data, entities resolved, as UTF-8
    };

    void skipSpace()
    {
        while (p_ != end_ && isSpace(*p_))
            ++p_;
    }

    bool name(std::string_view& out)
    {
        const char* start = p_;
        if (p_ == end_ || !isNameStart(*p_))
            return false;
        while (++p_ != end_ && isNameChar(*p_)) {
        }
        out = std::string_view(start, std::size_t(p_ - start));
        // Names starting "xml" are reserved and may be namespace declarations.
        return !(out.size() >= 3 && (out[0] | 0x20) == 'x' && (out[1] | 0x20) == 'm' && (out[2] | 0x20) == 'l');
    }

    // A character or entity of text or an attribute value, appended to out as UTF-8; ascii
    // stays true while everything appended is ASCII.
    bool character(std::string& out, bool& ascii)
    {
        const auto c = static_cast<unsigned char>(*p_);
        if (c == '&')
            return entity(out, ascii);
        if (c < 0x80) {
            if (!isPlainChar(c))
                return false;
            out += char(c);
            ++p_;
            return true;
        }
        // UTF-8 sequence: lead byte, continuation bytes, shortest form only.
        int length = 0;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end_ - p_ < length)
            return false;
        for (int i = 1; i < length; ++i) {
            const auto b = static_cast<unsigned char>(p_[i]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        static constexpr char32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kShortest[length] || !isPlainChar(cp))
            return false;
        out.append(p_, std::size_t(length));
        p_ += length;
        ascii = false;
        return true;
    }

    bool entity(std::string& out, bool& ascii)
    {
        const char* semicolon = static_cast<const char*>(std::memchr(p_, ';', std::size_t(std::min<std::ptrdiff_t>(end_ - p_, 12))));
        if (!semicolon)
            return false;
        const std::string_view body(p_ + 1, std::size_t(semicolon - p_ - 1));
        p_ = semicolon + 1;
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        for (const auto& [entityName, c] : kNamed) {
            if (body == entityName) {
                out += c;
                return true;
            }
        }
        if (body.size() < 2 || body[0] != '#')
            return false;
        const bool hex = body[1] == 'x';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 7)
            return false;
        char32_t cp = 0;
        for (const char d : digits) {
            int v = -1;
            if (d >= '0' && d <= '9')
                v = d - '0';
            else if (hex && d >= 'a' && d <= 'f')
                v = d - 'a' + 10;
            else if (hex && d >= 'A' && d <= 'F')
                v = d - 'A' + 10;
            if (v < 0)
                return false;
            cp = cp * (hex ? 16 : 10) + char32_t(v);
        }
        // Referenced whitespace is kept as written (a carriage return too, unlike a literal one).
        if (!(isPlainChar(cp) || cp == '\r'))
            return false;
        appendUtf8(out, cp);
        ascii = ascii && cp < 0x80;
        return true;
    }

    QString textOf(const std::string& bytes, bool ascii)
    {
        return ascii ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size()))
                     : QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }

    bool attribute(std::vector<XmlElement::Attribute>& attributes)
    {
        std::string_view attributeName;
        if (!name(attributeName))
            return false;
        const QLatin1StringView key(attributeName.data(), qsizetype(attributeName.size()));
        for (const XmlElement::Attribute& a : attributes)
            if (a.first == key)
                return false;
        skipSpace();
        if (p_ == end_ || *p_ != '=')
            return false;
        ++p_;
        skipSpace();
        if (p_ == end_ || (*p_ != '"' && *p_ != '\''))
            return false;
        const char quote = *p_++;
        const char* start = p_;
        // Most values hold no entity and no line break: taken as they stand.
        bool plain = true;
        while (p_ != end_ && *p_ != quote) {
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '&' || c < 0x20 || c >= 0x7F)
                plain = false;
            else if (c == '<')
                return false;
            ++p_;
        }
        if (p_ == end_)
            return false;
        const char* stop = p_++;
        if (plain) {
            attributes.emplace_back(pool_.get(key),
                                    pool_.get(QLatin1StringView(start, qsizetype(stop - start))));
            return true;
        }
        scratch_.clear();
        bool ascii = true;
        const char* after = p_;
        p_ = start;
        while (p_ != stop) {
            // Literal whitespace other than a space would be normalised to one.
            if (*p_ == '<' || *p_ == '\t' || *p_ == '\n' || !character(scratch_, ascii) || p_ > stop)
                return false;
        }
        p_ = after;
        QString value = textOf(scratch_, ascii);
        attributes.emplace_back(pool_.get(key), value.size() > XmlTextPool::kLongest ? std::move(value)
                                                                                   : pool_.get(QStringView(value)));
        return true;
    }

    // The start tag at p_ ('<' already seen at p_ - 1) with its attributes; empty is set for "/>".
    bool startTag(bool& empty)
    {
        Open& open = stack_.back();
        if (!name(open.name))
            return false;
        open.element.name_ = pool_.get(QLatin1StringView(open.name.data(), qsizetype(open.name.size())));
        attributes_.clear();
        for (;;) {
            const char* before = p_;
            skipSpace();
            if (p_ == end_)
                return false;
            if (*p_ == '>') {
                ++p_;
                empty = false;
                break;
            }
            if (*p_ == '/') {
                if (end_ - p_ < 2 || p_[1] != '>')
                    return false;
                p_ += 2;
                empty = true;
                break;
            }
            if (p_ == before || !attribute(attributes_)) // attributes are separated by whitespace
                return false;
        }
        open.element.attributes_.assign(std::make_move_iterator(attributes_.begin()),
                                        std::make_move_iterator(attributes_.end()));
        return true;
    }

    // Closes the innermost element: its text as the general reader leaves it, then into its
    // parent (or the root).
    void close()
    {
        Open& open = stack_.back();
        XmlElement& e = open.element;
        if (!open.text.empty()) {
            const bool layout = !e.children_.empty();
            const bool allSpace = open.text.find_first_not_of(" \t\n") == std::string::npos;
            if (!(layout && allSpace)) {
                const bool ascii = std::all_of(open.text.begin(), open.text.end(),
                                               [](char c) { return static_cast<unsigned char>(c) < 0x80; });
                e.text_ = textOf(open.text, ascii);
                if (layout && e.text_.trimmed().isEmpty())
                    e.text_ = QString();
            }
        }
        XmlElement done = std::move(e);
        stack_.pop_back();
        if (stack_.empty())
            root_ = std::move(done);
        else
            stack_.back().element.children_.push_back(std::move(done));
    }

    // The root element and everything in it; p_ is at its '<'.
    bool element()
    {
        if (p_ == end_ || *p_ != '<')
            return false;
        ++p_;
        do {
            // p_ is just past a '<' of a start tag.
            if (int(stack_.size()) >= maxDepth_)
                return false;
            stack_.emplace_back();
            bool empty = false;
            if (!startTag(empty))
                return false;
            if (empty)
                close();
            // Content up to the next start tag, closing elements on the way.
            while (!stack_.empty()) {
                Open& open = stack_.back();
                bool ascii = true;
                while (p_ != end_ && *p_ != '<') {
                    if (*p_ == '>' && open.text.size() >= 2 && open.text.ends_with("]]"))
                        return false; // "]]>" may not stand in text
                    if (!character(open.text, ascii))
                        return false;
                }
                if (end_ - p_ < 2)
                    return false;
                ++p_;
                if (*p_ != '/')
                    break;
                ++p_;
                if (std::string_view(p_, std::size_t(end_ - p_)).substr(0, open.name.size()) != open.name)
                    return false;
                p_ += open.name.size();
                skipSpace();
                if (p_ == end_ || *p_ != '>')
                    return false;
                ++p_;
                close();
            }
        } while (!stack_.empty());
        return true;
    }

    const char* p_;
    const char* end_;
    int maxDepth_;
    std::vector<Open> stack_;
    std::vector<XmlElement::Attribute> attributes_;
    std::string scratch_;
    XmlTextPool pool_;
    std::optional<XmlElement> root_;
};

std::optional<XmlElement> XmlReading::readPlain(const QByteArray& data, int maxDepth)
{
    return PlainParser(data, maxDepth).parse();
}

} // namespace platform
