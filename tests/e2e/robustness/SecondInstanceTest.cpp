// Two starts of the program on one home: the second never becomes another writer of the
// document the first has open; it hands its documents over and quits.
#include "shell/KLVDataFile.h"
#include "tests/e2e/support/KalvantoProcess.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

using namespace e2e;

namespace {

QString storedDataFile(KalvantoProcess& app)
{
    QSettings settings(app.home().filePath(QStringLiteral(".config/Quenmark/Kalvanto.conf")), QSettings::IniFormat);
    return settings.value(QStringLiteral("KLVDataFile")).toString();
}

} // namespace

TEST(SecondInstance, HandsItsDocumentsToTheRunningProgramAndQuits)
{
    if (const QString why = KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    Scene setup;
    setup.channels = {{}, {}};
    setup.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    KalvantoProcess app(setup);
    const QString other = app.home().filePath(QStringLiteral("Shows/other.klv3"));
    ASSERT_TRUE(QFile::copy(app.documentPath(), other));
    ASSERT_TRUE(app.start());
    // Running, with the document of its command line as the data file.
    ASSERT_TRUE(waitFor([&] { return storedDataFile(app).endsWith(QStringLiteral("Shows/show.klv3")); }, 60000))
        << app.output().toStdString();

    QByteArray said;
    const int status = app.runAnother({other}, &said);
    EXPECT_EQ(status, 0) << said.toStdString() << app.output().toStdString();
    EXPECT_TRUE(said.contains("already running")) << said.toStdString();
    // The running program took the handed document.
    EXPECT_TRUE(waitFor([&] { return storedDataFile(app).endsWith(QStringLiteral("Shows/other.klv3")); }, 30000))
        << app.output().toStdString();
    EXPECT_TRUE(app.running());

    // Another start on the document now open hands over nothing and still quits.
    EXPECT_EQ(app.runAnother({}, &said), 0) << said.toStdString();
    EXPECT_TRUE(app.running());
    EXPECT_EQ(app.terminate(), 0);
}
