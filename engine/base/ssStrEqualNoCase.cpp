#include "engine/base/ssStrEqualNoCase.h"

int ssStrEqualNoCase(const char* a, const char* b)
{
    if (a == b)
        return 0;
    if (!a || !b)
        return 1;
    for (;; ++a, ++b) {
        const int ca = static_cast<unsigned char>(*a);
        const int cb = static_cast<unsigned char>(*b);
        if (ca == 0 || cb == 0)
            return ca == cb ? 0 : 1;
        const int difference = ca > cb ? ca - cb : cb - ca;
        if (difference != 0 && difference != 32)
            return 1;
    }
}
