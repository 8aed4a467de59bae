// Service values as application values.
#include "platform/xpc/XpcValue.h"

#include <QCborArray>
#include <QCborMap>
#include <QVariantList>
#include <QVariantMap>

#include <gtest/gtest.h>

TEST(XpcValue, ConvertsEveryKindAndDropsWhatHasNoCounterpart)
{
    QCborMap inner;
    inner.insert(QStringLiteral("size"), QStringLiteral("1920x1080"));
    QCborMap map;
    map.insert(QStringLiteral("text"), QStringLiteral("é"));
    map.insert(QStringLiteral("yes"), true);
    map.insert(QStringLiteral("count"), qint64(-3));
    map.insert(QStringLiteral("fps"), 29.97);
    map.insert(QStringLiteral("bytes"), QByteArray("\x00\x01", 2));
    map.insert(QStringLiteral("nested"), inner);
    map.insert(QStringLiteral("null"), QCborValue(nullptr));
    map.insert(QStringLiteral("tagged"), QCborValue(QCborKnownTags::DateTimeString, QStringLiteral("2020")));
    map.insert(QStringLiteral("list"), QCborArray{QStringLiteral("a"), 1, QCborValue(), 2.5});
    map.insert(7, QStringLiteral("a key that is not text"));

    const QVariantMap out = platform::nsObjectFromXPCObject(map).toMap();
    EXPECT_EQ(out.size(), 7);
    EXPECT_EQ(out.value("text").toString(), QStringLiteral("é"));
    EXPECT_EQ(out.value("yes").typeId(), QMetaType::Bool);
    EXPECT_EQ(out.value("count").toLongLong(), -3);
    EXPECT_EQ(out.value("count").typeId(), QMetaType::LongLong);
    EXPECT_EQ(out.value("fps").typeId(), QMetaType::Double);
    EXPECT_EQ(out.value("bytes").toByteArray(), QByteArray("\x00\x01", 2));
    EXPECT_EQ(out.value("nested").toMap().value("size").toString(), QStringLiteral("1920x1080"));
    EXPECT_FALSE(out.contains("null"));
    EXPECT_FALSE(out.contains("tagged"));
    const QVariantList list = out.value("list").toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].toString(), QStringLiteral("a"));
    EXPECT_EQ(list[1].toLongLong(), 1);
    EXPECT_EQ(list[2].toDouble(), 2.5);
    EXPECT_FALSE(platform::nsObjectFromXPCObject(QCborValue()).isValid());
}
