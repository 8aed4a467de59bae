#pragma once
// The library's own error domain: codes 1-4 belong to the Art-Net I/O controller, 10 and 11 to
// address parsing.
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

#include <QString>

inline constexpr char FWNMXErrorDomain[] = "com.quenmark.fwnmx.ErrorDomain";
inline constexpr char FWNMXQueuePrefix[] = "com.quenmark.fwnmx.";

enum FWNMXErrorCode {
    FWNMXErrorSendFailed = 1,
    FWNMXErrorReceiveFailed = 2,
    FWNMXErrorCannotReceive = 3,
    FWNMXErrorBroadcastFailed = 4,
    FWNMXErrorNotAnAddress = 10,
    FWNMXErrorAddressConversion = 11,
};

namespace fwnmx {

inline constexpr char kLogSubsystem[] = "com.quenmark.kalvanto";
inline constexpr char kLogCategory[] = "dmxnet";

void log(const QString& message, platform::LogLevel level = platform::LogLevel::Default);

} // namespace fwnmx
