#include "platform/foundation/Exception.h"

namespace platform {

Exception::Exception(QString name, QString reason)
    : name_(std::move(name)), reason_(std::move(reason)), what_(reason_.toUtf8())
{
}

void Exception::raise(const QString& name, const QString& reason)
{
    throw Exception(name, reason);
}

} // namespace platform
