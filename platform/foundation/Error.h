#pragma once
// A failure described for a caller that reports it (service requests, file operations): a
// domain naming the layer, a code within that domain, and texts for a person.

#include <QString>
#include <cstdint>
#include <memory>

namespace platform {

struct Error {
    QString domain;
    std::int64_t code = 0;
    QString description;            // what failed, one sentence
    QString failureReason;          // why, when known
    std::shared_ptr<Error> underlying; // the lower-level error that caused this one

    Error() = default;
    Error(QString domain, std::int64_t code, QString description, QString failureReason = {},
          std::shared_ptr<Error> underlying = {});

    // True when nothing has been set (the "no error" value).
    bool isNull() const { return domain.isEmpty() && code == 0 && description.isEmpty(); }

    // "domain code: description (failureReason) <- underlying..." on one line.
    QString toString() const;

    bool operator==(const Error& other) const;
};

// Stores err in *out when out is not null (the usual "Error* error = nullptr" out-parameter).
inline void setError(Error* out, Error err)
{
    if (out)
        *out = std::move(err);
}

} // namespace platform
