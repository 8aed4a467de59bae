#pragma once
// Bytes written as numbers, for the MIDI and feed tests: bytesOf({0x90, 60, 100}).
#include <QByteArray>

#include <initializer_list>

inline QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (const int value : values)
        bytes.append(char(value));
    return bytes;
}
