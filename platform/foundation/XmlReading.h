#pragma once
// The two readers behind parseXml and readXml (internal to the XML tree).
//
// readPlain takes the documents we write ourselves, and others of the same plain form, straight
// from their bytes: several times faster than the general reader. It declines (nullopt) anything
// outside that form, well-formed or not, and the general reader then decides; so every error and
// every unusual construct is the general reader's.

#include "platform/foundation/Xml.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace platform {

struct XmlReadFailure {
    qint64 line = 0;
    qint64 column = 0;
    QString message;
    int code = kXmlMalformed;
};

// Documents repeat a few dozen element and attribute names (and short values such as "NO" or
// a frame rate) thousands of times: each distinct text is made once and then shared, so the
// tree costs one allocation per distinct name rather than one per use. One slot per hash
// value: a text whose slot holds another replaces it.
class XmlTextPool {
public:
    static constexpr qsizetype kLongest = 16;

    template <class View> // QStringView or QLatin1StringView
    QString get(View text)
    {
        if (text.size() > kLongest)
            return make(text);
        QString& slot = slots_[qHash(text) & (kSlots - 1)];
        if (slot != text)
            slot = make(text);
        return slot;
    }

private:
    static QString make(QStringView text) { return text.toString(); }
    static QString make(QLatin1StringView text) { return QString(text); }

    static constexpr std::size_t kSlots = 1024;
    std::vector<QString> slots_ = std::vector<QString>(kSlots);
};

struct XmlReading {
    class PlainParser;

    // Any input, through QXmlStreamReader; failure says where and why.
    static std::optional<XmlElement> readStream(const QByteArray& data, const XmlReadLimits& limits,
                                                XmlReadFailure& failure);
    // Plain documents only: UTF-8 with at most the declaration writeXml writes, no BOM, comments,
    // processing instructions, DOCTYPE, CDATA, namespaces or carriage returns; entities only the
    // five predefined ones and character references. The same tree as readStream, or nullopt.
    static std::optional<XmlElement> readPlain(const QByteArray& data, int maxDepth);
};

} // namespace platform
