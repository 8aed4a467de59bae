#pragma once
// The string table lives in resources/strings, below every library that shows text; this path
// stays for the shell's includes.
#include "resources/strings/KLVLocalized.h"
