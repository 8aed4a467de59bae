#include "app/defaults/KLVDefaultsKeys.h"
#include "comm/core/QMProtocolParser.h"
#include "platform/decklink/DeckLinkLoader.h"
#include "platform/decklink/virtual/VirtualCardControl.h"
#include "tests/shell/ShellFixture.h"

namespace {

using StartupTest = ShellFixture;

TEST_F(StartupTest, EveryParserTheDeviceFileMayNameIsKnownBeforeTheModuleStarts)
{
    // Each family the application offers, by the class name saved device files use.
    for (const char* name : {"QMProtocolParserAMP", "QMProtocolParserVDCP", "QMProtocolParserSonyBVW",
                             "QMProtocolParserRossTalk", "QMProtocolParserCITP", "QMProtocolParserDMX",
                             "QMProtocolParserMIDI"})
        EXPECT_NE(QMProtocolParserClass::classNamed(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(KLVStartup::availableParserTypes(), QVariantList({1, 2, 4, 9, 12, 15, 17, 18, 21}));
}

TEST_F(StartupTest, TheCardBackendIsFoundFromOurDefaultsUnlessTheEnvironmentSaysOtherwise)
{
    ::unsetenv(platform::decklink::kPluginEnvironmentVariable);
    ::unsetenv(platform::decklink::kVirtualConfigEnvironmentVariable);
    defaults().setObject(QStringLiteral("~/cards/plugin.so"), QString::fromLatin1(KLVDefaultsKeys::kDeckLinkPluginPath));
    defaults().setObject(QStringLiteral("~/cards/virtual.json"), QString::fromLatin1(KLVDefaultsKeys::kDeckLinkVirtualConfig));
    KLVStartup::configureCardBackend();
    EXPECT_EQ(QString::fromStdString(platform::decklink::pluginPath()), home_.filePath(QStringLiteral("cards/plugin.so")));
    EXPECT_EQ(QString::fromLocal8Bit(std::getenv(platform::decklink::kVirtualConfigEnvironmentVariable)),
              home_.filePath(QStringLiteral("cards/virtual.json")));

    ::setenv(platform::decklink::kPluginEnvironmentVariable, "/opt/other.so", 1);
    ::setenv(platform::decklink::kVirtualConfigEnvironmentVariable, "/opt/other.json", 1);
    KLVStartup::configureCardBackend();
    EXPECT_EQ(platform::decklink::pluginPath(), "/opt/other.so");
    EXPECT_STREQ(std::getenv(platform::decklink::kVirtualConfigEnvironmentVariable), "/opt/other.json");
    ::unsetenv(platform::decklink::kPluginEnvironmentVariable);
    ::unsetenv(platform::decklink::kVirtualConfigEnvironmentVariable);
}

} // namespace
