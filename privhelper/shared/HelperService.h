#pragma once
// The privileged helper's names, compiled into both the application and the helper program.

#include "platform/privileged/HelperInstallation.h"
#include "privhelper/shared/HelperVersion.h"

namespace HelperService {

// systemd unit names (label.socket, label.service) and the installed program's file name.
inline constexpr const char* label = "com.quenmark.kalvanto.Helper";
// Log subsystem of both sides: the tool logs under "Client", the application under "App".
inline constexpr const char* logSubsystem = "com.quenmark.kalvanto.PrivilegedHelper";
// The version the tool answers and the application expects.
inline constexpr const char* version = KLV_HELPER_VERSION;

inline constexpr const char* socketPath = "/run/com.quenmark.kalvanto.Helper.sock";
inline constexpr const char* installPath = "/usr/local/libexec/com.quenmark.kalvanto.Helper";
inline constexpr const char* configPath = "/etc/com.quenmark.kalvanto.Helper.conf";
// The program shipped next to the application, run through pkexec to install itself.
inline constexpr const char* bundledToolName = "Latchkeep";

platform::privileged::HelperInstallLayout installLayout();

} // namespace HelperService
