#pragma once
// The deck-control command tables (9-pin, VDCP, AMP) are keyed by a group digit and a two-digit
// code, upper-case hexadecimal text in every row.
#include <span>

template <class Row>
const Row* qmFindDeckCommand(std::span<const Row> table, char group, char code0, char code1)
{
    for (const Row& row : table)
        if (row.group[0] == group && row.code[0] == code0 && row.code[1] == code1)
            return &row;
    return nullptr;
}

// The row of a binary packet: the high nibble of CMD1 is the group, CMD2 the code.
template <class Row>
const Row* qmFindDeckCommand(std::span<const Row> table, unsigned char cmd1, unsigned char cmd2)
{
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    return qmFindDeckCommand(table, kHexDigits[cmd1 >> 4], kHexDigits[cmd2 >> 4], kHexDigits[cmd2 & 0x0F]);
}
