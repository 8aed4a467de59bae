#pragma once

// Compares two strings ignoring ASCII case: 0 when they match, 1 when they do not. Strings of
// different length never match; two characters match when equal or when their codes differ by
// exactly 32 (so letters match across case, and so do other pairs 32 apart, such as '@' and '`').
int ssStrEqualNoCase(const char* a, const char* b);
