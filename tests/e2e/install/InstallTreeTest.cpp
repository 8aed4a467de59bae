// The installed tree, from a clean prefix.
#include "platform/foundation/CompanionProgram.h"
#include "tests/e2e/support/FrameLogReader.h"
#include "tests/e2e/support/KalvantoProcess.h"
#include "tests/e2e/support/VdcpSession.h"
#include "tests/support/LoopbackPorts.h"
#include "tests/support/MediaFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct ToolRun {
    int status = -1;
    QString output;
};

ToolRun run(const QString& program, const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ToolRun result;
    if (!process.waitForStarted(10000))
        return result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        prefixDir_ = std::make_unique<QTemporaryDir>();
        install_ = run(QStringLiteral(KLV_CMAKE_COMMAND),
                       {QStringLiteral("--install"), QString::fromLocal8Bit(qgetenv("KLV_BINARY_DIR")),
                        QStringLiteral("--prefix"), prefixDir_->path()},
                       240000);
    }
    static void TearDownTestSuite() { prefixDir_.reset(); }

    void SetUp() override { ASSERT_EQ(install_.status, 0) << install_.output.toStdString(); }

    static QString prefix(const QString& relative) { return prefixDir_->filePath(relative); }

    // The validator, or a skip that says why it cannot run here.
    static QString tool(const char* name)
    {
        return QStandardPaths::findExecutable(QString::fromLatin1(name));
    }

    static std::unique_ptr<QTemporaryDir> prefixDir_;
    static ToolRun install_;
};

std::unique_ptr<QTemporaryDir> InstallTree::prefixDir_;
ToolRun InstallTree::install_;

TEST_F(InstallTree, PutsProgramsHelpersPluginAndEngineResourcesInTheStandardLayout)
{
    for (const char* program : {"bin/Kalvanto", "libexec/kalvanto/Clipwright", "libexec/kalvanto/Latchkeep"}) {
        const QFileInfo info(prefix(QString::fromLatin1(program)));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program;
    }
    EXPECT_TRUE(QFileInfo(prefix(QStringLiteral("libexec/kalvanto/klv-decklink-virtual.so"))).isFile());
    // The engine's resource base is share/kalvanto: its resources sit below Contents/Resources.
    const QString resources = prefix(QStringLiteral("share/kalvanto/Contents/Resources"));
    EXPECT_TRUE(QFileInfo(resources + QStringLiteral("/misc.ark")).size() > 0);
    for (const char* shader : {"YUV2In", "YUV2Out", "Interlace", "RGB2YUV601", "YUV2RGB601", "DeinterlaceEven"}) {
        EXPECT_TRUE(QFileInfo::exists(resources + QLatin1Char('/') + QLatin1String(shader) + QStringLiteral(".frag")))
            << shader;
        EXPECT_TRUE(QFileInfo::exists(resources + QLatin1Char('/') + QLatin1String(shader) + QStringLiteral(".vert")))
            << shader;
    }
    // Only what the engine reads: no build files of the folders made beside the resources.
    const QStringList installed = QDir(resources).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& name : installed)
        EXPECT_TRUE(name.endsWith(QStringLiteral(".frag")) || name.endsWith(QStringLiteral(".vert"))
                    || name.endsWith(QStringLiteral(".ark")))
            << name.toStdString();
    // Installed programs run from the tree: the helper answers its version.
    const ToolRun version = run(prefix(QStringLiteral("libexec/kalvanto/Latchkeep")), {QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_FALSE(version.output.trimmed().isEmpty());
    // The application finds its helpers in either layout: beside it in the build tree, in
    // libexec/kalvanto (by its real path, as the polkit action names it) when installed.
    for (const char* helper : {"Clipwright", "Latchkeep"}) {
        EXPECT_EQ(QString::fromStdString(platform::companionProgramPath(prefix(QStringLiteral("bin")).toStdString(), helper)),
                  QFileInfo(prefix(QStringLiteral("libexec/kalvanto/")) + QLatin1String(helper)).canonicalFilePath());
        const std::string built = qEnvironmentVariable("KLV_BINARY_DIR").toStdString() + "/bin";
        EXPECT_EQ(platform::companionProgramPath(built, helper), built + "/" + helper);
    }
    // Nothing of the build's own tools or tests is installed.
    for (const char* stray : {"bin/mkunits", "bin/mkfnt", "bin/arkpack", "bin/Clipwright", "bin/Latchkeep"})
        EXPECT_FALSE(QFileInfo::exists(prefix(QString::fromLatin1(stray)))) << stray;
    // Help ▸ Kalvanto Manual opens <bin>/../share/doc/kalvanto/manual.html.
    EXPECT_GT(QFileInfo(prefix(QStringLiteral("share/doc/kalvanto/manual.html"))).size(), 0);
}

TEST_F(InstallTree, DesktopEntryValidatesAndOpensDocumentsOfItsOwnMimeType)
{
    const QString desktop = prefix(QStringLiteral("share/applications/com.quenmark.Kalvanto.desktop"));
    const QString text = readText(desktop);
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=Kalvanto %F\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nMimeType=application/x-kalvanto-document;\n")));
    EXPECT_TRUE(QFileInfo::exists(prefix(QStringLiteral("share/icons/hicolor/scalable/apps/com.quenmark.Kalvanto.svg"))));
    EXPECT_TRUE(QFileInfo::exists(
        prefix(QStringLiteral("share/icons/hicolor/scalable/mimetypes/application-x-kalvanto-document.svg"))));

    const QString validator = tool("desktop-file-validate");
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (scripts/deps installs desktop-file-utils)";
    const ToolRun validated = run(validator, {desktop});
    EXPECT_EQ(validated.status, 0) << validated.output.toStdString();
    EXPECT_TRUE(validated.output.trimmed().isEmpty()) << validated.output.toStdString();
}

TEST_F(InstallTree, MimeDatabaseBuiltFromThePackageMapsKlv3Files)
{
    const QString updater = tool("update-mime-database");
    if (updater.isEmpty())
        GTEST_SKIP() << "update-mime-database is not installed (shared-mime-info)";
    const QString mime = prefix(QStringLiteral("share/mime"));
    const ToolRun updated = run(updater, {mime});
    ASSERT_EQ(updated.status, 0) << updated.output.toStdString();
    EXPECT_TRUE(readText(mime + QStringLiteral("/globs2")).contains(QStringLiteral("application/x-kalvanto-document:*.klv3")));
    EXPECT_TRUE(readText(mime + QStringLiteral("/types")).contains(QStringLiteral("application/x-kalvanto-document")));
}

TEST_F(InstallTree, HelperUnitsAndPolicyNameTheInstalledHelperAndVerify)
{
    const QString helper = QFileInfo(prefix(QStringLiteral("libexec/kalvanto/Latchkeep"))).absoluteFilePath();
    const QString units = prefix(QStringLiteral("lib/systemd/system"));
    const QString service = units + QStringLiteral("/com.quenmark.kalvanto.Helper.service");
    const QString socket = units + QStringLiteral("/com.quenmark.kalvanto.Helper.socket");
    EXPECT_TRUE(readText(service).contains(QStringLiteral("\nExecStart=") + helper + QLatin1Char('\n')));
    EXPECT_TRUE(readText(service).contains(QStringLiteral("\nRequires=com.quenmark.kalvanto.Helper.socket\n")));
    EXPECT_TRUE(readText(socket).contains(QStringLiteral("\nListenSequentialPacket=/run/com.quenmark.kalvanto.Helper.sock\n")));

    const QString policy = prefix(QStringLiteral("share/polkit-1/actions/com.quenmark.kalvanto.Helper.policy"));
    const QString policyText = readText(policy);
    EXPECT_TRUE(policyText.contains(QStringLiteral("<annotate key=\"org.freedesktop.policykit.exec.path\">") + helper
                                    + QStringLiteral("</annotate>")));
    if (const QString xmllint = tool("xmllint"); !xmllint.isEmpty()) {
        const ToolRun wellFormed = run(xmllint, {QStringLiteral("--noout"), QStringLiteral("--nonet"), policy});
        EXPECT_EQ(wellFormed.status, 0) << wellFormed.output.toStdString();
    }

    const QString analyze = tool("systemd-analyze");
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed (systemd)";
    // Verifying loads the units offline; it needs no running systemd.
    const ToolRun verified = run(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), socket, service});
    EXPECT_EQ(verified.status, 0) << verified.output.toStdString();
}

TEST_F(InstallTree, InstalledProgramFindsItsResourcesAndPlaysToACard)
{
    if (const QString why = e2e::KalvantoProcess::unavailableReason(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    using namespace e2e;
    const uint16_t port = testsupport::freeTcpPort();
    Scene scene;
    scene.program = prefix(QStringLiteral("bin/Kalvanto"));
    scene.cardPlugin = prefix(QStringLiteral("libexec/kalvanto/klv-decklink-virtual.so"));
    scene.channels = {{{QStringLiteral("Opener"), testsupport::mediaPath("mjpeg"), 25, 2.0}}};
    scene.devices << tcpDevice(QStringLiteral("Automation"), 1, QStringLiteral("QMProtocolParserVDCP"), port);
    scene.cardsJson = cardJson(QStringLiteral("Out A"), 320, 240, 25);
    scene.defaults << QStringLiteral("KLVShowSlate_1=false") << QStringLiteral("KLVSelectedAudioOutput1=1");
    KalvantoProcess app(scene);
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(waitFor([&] { return tcpAccepts(port); }, 30000)) << app.output().toStdString();
    VdcpSession vdcp;
    ASSERT_TRUE(vdcp.connectTo(port));
    EXPECT_TRUE(vdcp.ask(vdcppeer::frame(0x30, 0x01, QByteArray(1, char(0x01)))).isData(0x81));
    EXPECT_EQ(vdcp.ask(vdcppeer::frame(0x20, 0x24, QByteArray("Opener  ")), 30000).kind, vdcppeer::Reply::Ack);
    EXPECT_EQ(vdcp.ask(vdcppeer::frame(0x10, 0x01)).kind, vdcppeer::Reply::Ack);
    // The engine drew the clip with the installed shaders: its barcodes reach the card.
    EXPECT_TRUE(waitFor([&] {
        const auto log = readFrameLog(app.frameLogPath(0));
        return !log.empty() && log.back().barcode >= 10;
    }, 20000)) << app.output().right(3000).toStdString();
    EXPECT_EQ(app.terminate(), 0);
}

} // namespace
