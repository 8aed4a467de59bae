#pragma once
// A raised failure with a name (its kind) and a reason (the message). Malformed documents and
// data raise these; what() is the reason.

#include <QString>
#include <QByteArray>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

// Names used by the platform layer itself.
inline constexpr const char* kInvalidArgumentException = "InvalidArgumentException";
inline constexpr const char* kRangeException = "RangeException";
inline constexpr const char* kInternalInconsistencyException = "InternalInconsistencyException";
inline constexpr const char* kXmlParseException = "XmlParseException";
inline constexpr const char* kFileException = "FileException";

class Exception : public std::exception {
public:
    Exception(QString name, QString reason);

    const QString& name() const noexcept { return name_; }
    const QString& reason() const noexcept { return reason_; }
    const char* what() const noexcept override { return what_.constData(); }

    // Throws Exception(name, reason).
    [[noreturn]] static void raise(const QString& name, const QString& reason);

    // Throws with a QString::arg style format: raise("BadFile", "line %1: %2", 12, text).
    // Arguments may be strings (QString, const char*, std::string) or numbers; they are all
    // substituted in one pass, so a '%1' inside an argument is never expanded again.
    template <class... Args>
        requires(sizeof...(Args) > 0)
    [[noreturn]] static void raise(const QString& name, const QString& format, const Args&... args)
    {
        raise(name, format.arg(argText(args)...));
    }

private:
    template <class T>
    static QString argText(const T& v)
    {
        if constexpr (std::is_same_v<T, QString>)
            return v;
        else if constexpr (std::is_same_v<T, bool>)
            return v ? QStringLiteral("YES") : QStringLiteral("NO");
        else if constexpr (std::is_arithmetic_v<T>)
            return QString::number(v);
        else if constexpr (std::is_convertible_v<const T&, std::string_view>)
            return QString::fromUtf8(std::string_view(v).data(), qsizetype(std::string_view(v).size()));
        else
            return QString(v);
    }

    QString name_;
    QString reason_;
    QByteArray what_;
};

} // namespace platform
