#include "platform/foundation/Error.h"

namespace platform {

Error::Error(QString domain_, std::int64_t code_, QString description_, QString failureReason_,
             std::shared_ptr<Error> underlying_)
    : domain(std::move(domain_)),
      code(code_),
      description(std::move(description_)),
      failureReason(std::move(failureReason_)),
      underlying(std::move(underlying_))
{
}

namespace {

void describeOne(QString& text, const Error& e)
{
    text += e.domain + QLatin1Char(' ') + QString::number(e.code);
    if (!e.description.isEmpty())
        text += QStringLiteral(": ") + e.description;
    if (!e.failureReason.isEmpty())
        text += QStringLiteral(" (") + e.failureReason + QLatin1Char(')');
}

} // namespace

QString Error::toString() const
{
    QString text;
    describeOne(text, *this);
    // Chains are short; the depth cap only guards against a cycle built by mistake.
    int depth = 0;
    for (const Error* e = underlying.get(); e && depth < 16; e = e->underlying.get(), ++depth) {
        text += QStringLiteral(" <- ");
        describeOne(text, *e);
    }
    return text;
}

bool Error::operator==(const Error& other) const
{
    if (domain != other.domain || code != other.code || description != other.description
        || failureReason != other.failureReason)
        return false;
    if (!underlying || !other.underlying)
        return !underlying && !other.underlying;
    return *underlying == *other.underlying;
}

} // namespace platform
