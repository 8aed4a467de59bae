// The string table holds a text for every key the program can ask for. The keys are read from
// the source tree, so a key added anywhere is checked without touching this test.
#include "resources/strings/KLVLocalized.h"

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

// The program's sources (tests, benchmarks and build trees are not the program).
QStringList programSources()
{
    const QString root = qEnvironmentVariable("KLV_SOURCE_DIR");
    QStringList files;
    for (const char* folder : {"app", "ui", "comm", "engine", "platform", "mediahelper", "privhelper", "diagnostics",
                               "resources", "tools"}) {
        QDirIterator it(root + QLatin1Char('/') + QLatin1String(folder), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    return files;
}

QString read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

struct Keys {
    QMap<QString, QString> full;     // key -> a file asking for it
    QMap<QString, QString> prefixes; // "QM_LICENSE_TITLE_" -> its file
};

// Every "QM_…" literal, and every literal handed straight to a lookup (keys of other forms).
// A literal ending in "_" is the start of keys completed at run time.
Keys keysInSources()
{
    static const QRegularExpression qmLiteral(QStringLiteral(R"re("(QM_[A-Za-z0-9_]+)")re"));
    static const QRegularExpression lookup(
        QStringLiteral(R"re((?:KLVLocalized::text|localized)\(\s*(?:QStringLiteral\(\s*)?"([A-Za-z][A-Za-z0-9_]*)")re"));
    Keys keys;
    for (const QString& path : programSources()) {
        const QString source = read(path);
        for (const QRegularExpression* re : {&qmLiteral, &lookup}) {
            for (auto it = re->globalMatch(source); it.hasNext();) {
                const QString key = it.next().captured(1);
                (key.endsWith(QLatin1Char('_')) ? keys.prefixes : keys.full).insert(key, path);
            }
        }
    }
    return keys;
}

// The completions of a prefix: the plain word literals of the file that builds the keys
// ("FFMPEG" for "QM_LICENSE_TITLE_").
QStringList completions(const QString& path)
{
    static const QRegularExpression word(QStringLiteral(R"re("([A-Za-z0-9]{2,})")re"));
    QStringList words;
    for (auto it = word.globalMatch(read(path)); it.hasNext();)
        words << it.next().captured(1);
    return words;
}

TEST(StringTable, EveryKeyTheCodeAsksForHasAText)
{
    const Keys keys = keysInSources();
    // The scan must see the program, or it proves nothing.
    ASSERT_TRUE(keys.full.contains(QStringLiteral("QM_OK")));
    ASSERT_TRUE(keys.prefixes.contains(QStringLiteral("QM_LICENSE_TITLE_")));

    const QStringList tableKeys = KLVLocalized::tableKeys();
    const QSet<QString> table(tableKeys.begin(), tableKeys.end());
    for (auto it = keys.full.begin(); it != keys.full.end(); ++it)
        EXPECT_TRUE(table.contains(it.key())) << it.key().toStdString() << " (asked for in " << it.value().toStdString() << ")";

    for (auto it = keys.prefixes.begin(); it != keys.prefixes.end(); ++it) {
        int found = 0;
        for (const QString& word : completions(it.value())) {
            EXPECT_TRUE(table.contains(it.key() + word)) << (it.key() + word).toStdString() << " (built in "
                                                         << it.value().toStdString() << ")";
            ++found;
        }
        EXPECT_GT(found, 0) << it.key().toStdString() << ": no completion found in " << it.value().toStdString();
    }
}

TEST(StringTable, TextsAreWrittenOutAndReadWithoutAnInstalledTranslator)
{
    const QStringList keys = KLVLocalized::tableKeys();
    ASSERT_GT(keys.size(), 50);
    for (const QString& key : keys) {
        const QString text = KLVLocalized::text(key);
        EXPECT_FALSE(text.trimmed().isEmpty()) << key.toStdString();
        EXPECT_EQ(text, text.trimmed()) << key.toStdString();
        EXPECT_FALSE(text.startsWith(QStringLiteral("QM_"))) << key.toStdString();
    }
    EXPECT_TRUE(KLVLocalized::missingKeys().isEmpty());

    // The missing-file alert keeps the file's name.
    const QString missingFile = KLVLocalized::text("QM_FILE_NOT_LOCATED_GENERIC", {QStringLiteral("Opener.mov")});
    EXPECT_TRUE(missingFile.contains(QStringLiteral("Opener.mov"))) << missingFile.toStdString();
    EXPECT_FALSE(missingFile.contains(QStringLiteral("%@")));
}

TEST(StringTable, ArgumentsFillInOrderAndAMissingKeyIsNoted)
{
    using KLVLocalized::fillArguments;
    EXPECT_EQ(fillArguments(QStringLiteral("%@ and %@ other files"), {QStringLiteral("a.mov"), QStringLiteral("2")}),
              QStringLiteral("a.mov and 2 other files"));
    // A file name holding a placeholder is not filled again.
    EXPECT_EQ(fillArguments(QStringLiteral("%@ then %@"), {QStringLiteral("x%@.mov"), QStringLiteral("y")}),
              QStringLiteral("x%@.mov then y"));
    EXPECT_EQ(fillArguments(QStringLiteral("%2 of %1"), {QStringLiteral("A"), QStringLiteral("B")}), QStringLiteral("B of A"));
    EXPECT_EQ(fillArguments(QStringLiteral("no place"), {QStringLiteral("A")}), QStringLiteral("no place"));
    EXPECT_EQ(fillArguments(QStringLiteral("only %@"), {}), QStringLiteral("only %@"));

    EXPECT_EQ(KLVLocalized::text("QM_NOT_A_KEY_ANYONE_WROTE"), QStringLiteral("QM_NOT_A_KEY_ANYONE_WROTE"));
    EXPECT_TRUE(KLVLocalized::missingKeys().contains(QStringLiteral("QM_NOT_A_KEY_ANYONE_WROTE")));
}

} // namespace
