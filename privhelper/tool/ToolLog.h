#pragma once
// The helper's log: one line per call on stderr, which systemd puts in the journal. The line
// has the same shape as the application's log lines.

#include <string_view>

enum class ToolLogLevel { info, standard, error };

void toolLog(ToolLogLevel level, std::string_view message);
