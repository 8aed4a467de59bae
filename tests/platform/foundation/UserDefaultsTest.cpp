#include "platform/foundation/UserDefaults.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace platform;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath(QStringLiteral("Quenmark/Kalvanto.conf")); }
    QTemporaryDir dir_;
};

} // namespace

TEST_F(UserDefaultsTest, RegisteredDefaultNeverOverridesStoredValue)
{
    {
        UserDefaults d(path());
        d.setInteger(5, QStringLiteral("KLVVolume"));
        d.registerDefaults({{QStringLiteral("KLVVolume"), 9}, {QStringLiteral("KLVOther"), true}});
        EXPECT_EQ(d.integerForKey(QStringLiteral("KLVVolume")), 5);
        EXPECT_TRUE(d.isPersisted(QStringLiteral("KLVVolume")));
        EXPECT_TRUE(d.isRegistered(QStringLiteral("KLVVolume")));
        EXPECT_FALSE(d.isPersisted(QStringLiteral("KLVOther")));
        EXPECT_TRUE(d.boolForKey(QStringLiteral("KLVOther")));
    }
    // Registering after a restart must not hide the stored value either, nor be written out.
    UserDefaults d(path());
    d.registerDefaults({{QStringLiteral("KLVVolume"), 9}, {QStringLiteral("KLVOther"), true}});
    EXPECT_EQ(d.integerForKey(QStringLiteral("KLVVolume")), 5);
    EXPECT_EQ(d.persistedKeys(), QStringList {QStringLiteral("KLVVolume")});
    d.removeObjectForKey(QStringLiteral("KLVVolume"));
    EXPECT_FALSE(d.isPersisted(QStringLiteral("KLVVolume")));
    EXPECT_EQ(d.integerForKey(QStringLiteral("KLVVolume")), 9);
    EXPECT_FALSE(d.objectForKey(QStringLiteral("KLVMissing")).isValid());
    EXPECT_EQ(d.dictionaryRepresentation().value(QStringLiteral("KLVVolume")).toInt(), 9);
}

TEST_F(UserDefaultsTest, TypedGettersCoerceLikeTheOriginalDefaults)
{
    UserDefaults d(path());
    d.setObject(QStringLiteral("12abc"), QStringLiteral("s"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("s")), 12);
    EXPECT_TRUE(d.boolForKey(QStringLiteral("s")));
    EXPECT_DOUBLE_EQ(d.doubleForKey(QStringLiteral("s")), 12.0);
    d.setObject(QStringLiteral("NO"), QStringLiteral("no"));
    EXPECT_FALSE(d.boolForKey(QStringLiteral("no")));
    d.setObject(QStringLiteral("YES"), QStringLiteral("yes"));
    EXPECT_TRUE(d.boolForKey(QStringLiteral("yes")));
    d.setBool(true, QStringLiteral("b"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("b")), 1);
    EXPECT_EQ(d.stringForKey(QStringLiteral("b")), QStringLiteral("1"));
    d.setDouble(2.75, QStringLiteral("d"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("d")), 2);
    EXPECT_EQ(d.stringForKey(QStringLiteral("d")), QStringLiteral("2.75"));
    d.setFloat(0.1f, QStringLiteral("f"));
    EXPECT_EQ(d.stringForKey(QStringLiteral("f")), QStringLiteral("0.1"));
    EXPECT_FLOAT_EQ(d.floatForKey(QStringLiteral("f")), 0.1f);
    d.setObject(QVariantList {1, 2}, QStringLiteral("list"));
    EXPECT_TRUE(d.stringForKey(QStringLiteral("list")).isNull());
    EXPECT_EQ(d.integerForKey(QStringLiteral("list")), 0);
    EXPECT_TRUE(d.dictionaryForKey(QStringLiteral("list")).isEmpty());
    EXPECT_EQ(d.arrayForKey(QStringLiteral("list")).size(), 2);
    EXPECT_TRUE(d.arrayForKey(QStringLiteral("s")).isEmpty());
    d.registerDefaults({{QStringLiteral("regDouble"), 3.9}, {QStringLiteral("regBig"), 1e30}});
    EXPECT_EQ(d.integerForKey(QStringLiteral("regDouble")), 3);
    EXPECT_EQ(d.integerForKey(QStringLiteral("regBig")), std::numeric_limits<std::int64_t>::max());
    d.setObject(QStringLiteral("4000000000"), QStringLiteral("big"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("big")), 4000000000LL);
}

TEST_F(UserDefaultsTest, ValuesReadTheSameBeforeAndAfterARestart)
{
    const QVariantMap nested {{QStringLiteral("name"), QStringLiteral("Deck 1")},
                              {QStringLiteral("port"), 5250},
                              {QStringLiteral("tags"), QStringList {QStringLiteral("a")}}};
    const QVariantMap values {
        {QStringLiteral("int"), 42},
        {QStringLiteral("neg"), qint64(-9000000000)},
        {QStringLiteral("bool"), false},
        {QStringLiteral("double"), 29.97},
        {QStringLiteral("string"), QStringLiteral("@odd, text; with = signs\nand a line")},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("one"), QStringList {QStringLiteral("only")}},
        {QStringLiteral("many"), QVariantList {1, QStringLiteral("two"), 3.5}},
        {QStringLiteral("none"), QVariantList {}},
        {QStringLiteral("map"), nested},
        {QStringLiteral("data"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("KLVSelectedDeviceName1"), QStringLiteral("Virtual \u00e9")},
    };
    QVariantMap before;
    {
        UserDefaults d(path());
        d.registerDefaults({{QStringLiteral("none"), QVariantList {1, 2, 3}}});
        for (auto it = values.begin(); it != values.end(); ++it)
            d.setObject(it.value(), it.key());
        for (auto it = values.begin(); it != values.end(); ++it)
            before.insert(it.key(), d.objectForKey(it.key()));
        Error error;
        EXPECT_TRUE(d.synchronize(&error)) << error.toString().toStdString();
    }
    UserDefaults d(path());
    d.registerDefaults({{QStringLiteral("none"), QVariantList {1, 2, 3}}});
    for (auto it = values.begin(); it != values.end(); ++it) {
        EXPECT_TRUE(d.isPersisted(it.key())) << it.key().toStdString();
        EXPECT_EQ(d.objectForKey(it.key()), before.value(it.key())) << it.key().toStdString();
    }
    EXPECT_EQ(d.integerForKey(QStringLiteral("neg")), -9000000000LL);
    EXPECT_DOUBLE_EQ(d.doubleForKey(QStringLiteral("double")), 29.97);
    EXPECT_FALSE(d.boolForKey(QStringLiteral("bool")));
    EXPECT_EQ(d.stringArrayForKey(QStringLiteral("one")), QStringList {QStringLiteral("only")});
    EXPECT_TRUE(d.arrayForKey(QStringLiteral("none")).isEmpty()); // the user's empty list wins
    EXPECT_EQ(d.dictionaryForKey(QStringLiteral("map")).value(QStringLiteral("port")).toInt(), 5250);
    EXPECT_EQ(d.dataForKey(QStringLiteral("data")), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(d.stringForKey(QStringLiteral("string")), values.value(QStringLiteral("string")).toString());
}

TEST_F(UserDefaultsTest, ChangedIsEmittedOnTheObjectThreadForEffectiveChanges)
{
    UserDefaults d(path());
    QStringList spy; // keys in emission order
    QObject::connect(&d, &UserDefaults::changed, &d, [&](const QString& key) { spy.push_back(key); });
    d.setInteger(1, QStringLiteral("a"));
    d.setInteger(1, QStringLiteral("a")); // same value: no signal
    d.registerDefaults({{QStringLiteral("a"), 7}, {QStringLiteral("b"), 2}}); // only b changes
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0), QStringLiteral("a"));
    EXPECT_EQ(spy.at(1), QStringLiteral("b"));
    spy.clear();

    std::atomic<bool> wrongThread {false};
    QObject::connect(&d, &UserDefaults::changed, &d, [&] { wrongThread = wrongThread || QThread::currentThread() != d.thread(); },
                     Qt::DirectConnection);
    std::thread([&] { d.setObject(QStringLiteral("x"), QStringLiteral("c")); }).join();
    EXPECT_EQ(spy.count(), 0); // queued to the object's thread
    QDeadlineTimer deadline(10000);
    while (spy.count() == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0), QStringLiteral("c"));
    EXPECT_FALSE(wrongThread);
    d.removeObjectForKey(QStringLiteral("a")); // falls back to the registered 7: a change
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(UserDefaultsTest, WritesFromOneThreadReadConsistentlyFromAnother)
{
    UserDefaults d(path());
    constexpr int kCount = 2000;
    std::atomic<bool> done {false};
    std::atomic<int> failures {0};
    std::thread reader([&] {
        std::int64_t last = 0;
        while (!done) {
            const std::int64_t now = d.integerForKey(QStringLiteral("counter"));
            if (now < last)
                failures++;
            last = now;
            const QVariantMap pair = d.dictionaryForKey(QStringLiteral("pair"));
            if (pair.value(QStringLiteral("a")) != pair.value(QStringLiteral("b")))
                failures++;
        }
        if (d.integerForKey(QStringLiteral("counter")) != kCount)
            failures++;
    });
    std::thread writer([&] {
        for (int i = 1; i <= kCount; ++i) {
            d.setInteger(i, QStringLiteral("counter"));
            d.setObject(QVariantMap {{QStringLiteral("a"), i}, {QStringLiteral("b"), i}}, QStringLiteral("pair"));
        }
        done = true;
    });
    writer.join();
    reader.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(d.synchronize());
    QCoreApplication::processEvents(); // delivers the queued changed() signals while d lives
    EXPECT_EQ(UserDefaults(path()).integerForKey(QStringLiteral("counter")), kCount);
}

TEST_F(UserDefaultsTest, DefaultsRegisterFromAJsonFile)
{
    const QString json = dir_.filePath(QStringLiteral("standardDefaults.json"));
    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"enableErrorReporting": true, "KLVPreroll": 5, "KLVName": "Main", "KLVList": [1, "x"]})");
    file.close();
    UserDefaults d(path());
    Error error;
    ASSERT_TRUE(d.registerDefaultsFromFile(json, &error)) << error.toString().toStdString();
    EXPECT_TRUE(d.boolForKey(QStringLiteral("enableErrorReporting")));
    EXPECT_FALSE(d.boolForKey(QStringLiteral("enableAnalyticsReporting")));
    EXPECT_EQ(d.integerForKey(QStringLiteral("KLVPreroll")), 5);
    EXPECT_EQ(d.stringForKey(QStringLiteral("KLVName")), QStringLiteral("Main"));
    EXPECT_EQ(d.arrayForKey(QStringLiteral("KLVList")).size(), 2);
    EXPECT_FALSE(d.isPersisted(QStringLiteral("KLVName")));

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"broken\": ");
    file.close();
    EXPECT_FALSE(d.registerDefaultsFromFile(json, &error));
    EXPECT_EQ(error.domain, QStringLiteral("UserDefaultsErrorDomain"));
    EXPECT_FALSE(d.registerDefaultsFromFile(dir_.filePath(QStringLiteral("missing.json")), &error));
    EXPECT_TRUE(d.isRegistered(QStringLiteral("KLVName"))); // earlier registrations stay
}

TEST_F(UserDefaultsTest, SharedDefaultsCanBeRedirected)
{
    // The default location follows XDG_CONFIG_HOME; keep the real home untouched.
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("config"))));
    EXPECT_EQ(UserDefaults::defaultFilePath(), dir_.filePath(QStringLiteral("config/Quenmark/Kalvanto.conf")));
    UserDefaults& shared = UserDefaults::sharedDefaults();
    EXPECT_EQ(&shared, &UserDefaults::sharedDefaults());
    if (previous.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", previous);
    UserDefaults::setSharedFilePath(path());
    shared.setObject(QStringLiteral("value"), QStringLiteral("KLVDataFile"));
    ASSERT_TRUE(shared.synchronize());
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("KLVDataFile=value"));
    UserDefaults::setSharedFilePath(dir_.filePath(QStringLiteral("other.conf")));
    EXPECT_FALSE(shared.isPersisted(QStringLiteral("KLVDataFile")));
}
