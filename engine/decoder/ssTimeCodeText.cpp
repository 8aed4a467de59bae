#include "engine/decoder/ssTimeCodeText.h"

#include <cctype>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

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

void ssFormatTimeCode(double seconds, double frameDuration, double frameRate, char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return;
    if (!(seconds > 0.0))
        seconds = 0.0;
    const long long whole = static_cast<long long>(std::trunc(seconds));
    const long long hours = whole / 3600;
    const long long minutes = whole / 60 - hours * 60;
    const long long secs = whole % 60;
    const long long rate = static_cast<long long>(frameRate + 0.5);
    long long frames = 0;
    if (frameDuration > 0.0 && rate > 0)
        frames = static_cast<long long>(std::trunc(seconds / frameDuration)) % rate;
    const long long parts[4] = {hours, minutes, secs, frames};
    const char separators[4] = {':', ':', ';', '\0'};
    char text[96];
    char* end = text;
    for (int i = 0; i < 4; ++i) {
        if (parts[i] < 10)
            *end++ = '0';
        end = std::to_chars(end, text + sizeof text - 2, parts[i]).ptr;
        if (separators[i])
            *end++ = separators[i];
    }
    const size_t length = std::min(size_t(end - text), size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}
