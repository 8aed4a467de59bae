#include "engine/decoder/ssTimeCodeText.h"

#include <cctype>
#include <charconv>

namespace {

// One optionally signed decimal number after optional blanks, as the scanf family reads one.
bool readNumber(std::string_view& text, int& value)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const char* first = text.data() + start;
    if (start < text.size() && text[start] == '+')
        ++first;
    auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() + i)
        return false;
    text.remove_prefix(size_t(end - text.data()));
    return true;
}

bool readSeparator(std::string_view& text, char separator)
{
    if (text.empty() || text.front() != separator)
        return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

bool ssParseTimeCode(std::string_view text, int parts[4], bool* semicolon)
{
    int values[4];
    if (!readNumber(text, values[0]) || !readSeparator(text, ':') || !readNumber(text, values[1]) ||
        !readSeparator(text, ':') || !readNumber(text, values[2]))
        return false;
    bool drop = false;
    if (readSeparator(text, ';'))
        drop = true;
    else if (!readSeparator(text, ':'))
        return false;
    if (!readNumber(text, values[3]))
        return false;
    for (int i = 0; i < 4; ++i)
        parts[i] = values[i];
    if (semicolon)
        *semicolon = drop;
    return true;
}
