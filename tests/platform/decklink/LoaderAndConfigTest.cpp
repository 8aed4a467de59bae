#include "tests/platform/decklink/VirtualCards.h"

#include "platform/decklink/DeckLinkLoader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace platform::decklink;

TEST(DeckLinkLoader, MissingOrBrokenPluginGivesNoCardsAndNoNoise)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    DeckLinkLoader missing("/nonexistent/klv-decklink-none.so");
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_EQ(missing.CreateIterator(), nullptr);

    DeckLinkLoader none("");
    EXPECT_FALSE(none.isLoaded());
    EXPECT_TRUE(none.error().empty());

    // Not a shared object at all.
    const auto text = std::filesystem::temp_directory_path() / "klv-decklink-not-a-plugin.so";
    std::ofstream(text) << "not a plugin";
    DeckLinkLoader broken(text.string());
    std::filesystem::remove(text);
    EXPECT_FALSE(broken.isLoaded());
    EXPECT_FALSE(broken.error().empty());
    EXPECT_EQ(broken.CreateIterator(), nullptr);

    // The process-wide entry point with the variable naming nothing.
    setenv(kPluginEnvironmentVariable, "/nonexistent/klv-decklink-none.so", 1);
    setPluginPath("/also/nonexistent.so");
    EXPECT_EQ(pluginPath(), "/nonexistent/klv-decklink-none.so");
    EXPECT_EQ(CreateDeckLinkIteratorInstance(), nullptr);
    EXPECT_EQ(CreateDeckLinkIteratorInstance(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(DeckLinkLoader, ConfiguredPathIsUsedWhenTheEnvironmentNamesNone)
{
    unsetenv(kPluginEnvironmentVariable);
    setPluginPath("/opt/cards/backend.so");
    EXPECT_EQ(pluginPath(), "/opt/cards/backend.so");
}

TEST(VirtualCards, ConfigurationDescribesCardsModesAndCaptureOnlyCards)
{
    testsupport::VirtualCards cards(R"({"cards": [
        {"name": "Play and Record", "modes": ["HD 1080i 29.97", "HD 720p 59.94"]},
        {"name": "Record Only", "output": false, "referenceLocked": false,
         "modes": [{"name": "Tiny 25p", "width": 64, "height": 36, "frameDuration": 1, "timeScale": 25}]}
    ]})");
    EXPECT_EQ(cards.control().CardCount(), 2);

    auto first = cards.card(0);
    ASSERT_TRUE(first);
    std::string name;
    ASSERT_EQ(first->GetDisplayName(&name), kOk);
    EXPECT_EQ(name, "Play and Record");
    IDeckLinkOutput* output = nullptr;
    ASSERT_EQ(first->QueryOutput(&output), kOk);
    Ref<IDeckLinkOutput> out(output);

    IDeckLinkDisplayModeIterator* it = nullptr;
    ASSERT_EQ(out->GetDisplayModeIterator(&it), kOk);
    Ref<IDeckLinkDisplayModeIterator> modes(it);
    IDeckLinkDisplayMode* mode = nullptr;
    ASSERT_EQ(modes->Next(&mode), kOk);
    Ref<IDeckLinkDisplayMode> interlaced(mode);
    interlaced->GetName(&name);
    EXPECT_EQ(name, "HD 1080i 29.97");
    EXPECT_EQ(interlaced->GetWidth(), 1920);
    EXPECT_EQ(interlaced->GetHeight(), 1080);
    EXPECT_EQ(interlaced->GetFieldDominance(), FieldDominance::UpperFieldFirst);
    TimeValue duration = 0;
    TimeScale scale = 0;
    interlaced->GetFrameRate(&duration, &scale);
    EXPECT_EQ(duration, 1001);
    EXPECT_EQ(scale, 30000);
    ASSERT_EQ(modes->Next(&mode), kOk);
    Ref<IDeckLinkDisplayMode> progressive(mode);
    EXPECT_EQ(progressive->GetFieldDominance(), FieldDominance::Progressive);
    EXPECT_EQ(modes->Next(&mode), kFalse);
    EXPECT_EQ(mode, nullptr);

    ReferenceStatus status = 0;
    ASSERT_EQ(out->GetReferenceStatus(&status), kOk);
    EXPECT_EQ(status & kReferenceLocked, kReferenceLocked);
    cards.control().SetReferenceLocked(0, false);
    out->GetReferenceStatus(&status);
    EXPECT_EQ(status & kReferenceLocked, 0u);

    auto second = cards.card(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->QueryOutput(&output), kNoInterface);
    EXPECT_EQ(output, nullptr);
    IDeckLinkInput* input = nullptr;
    ASSERT_EQ(second->QueryInput(&input), kOk);
    Ref<IDeckLinkInput> in(input);
    ASSERT_EQ(in->GetDisplayModeIterator(&it), kOk);
    Ref<IDeckLinkDisplayModeIterator> inputModes(it);
    ASSERT_EQ(inputModes->Next(&mode), kOk);
    Ref<IDeckLinkDisplayMode> tiny(mode);
    EXPECT_EQ(tiny->GetWidth(), 64);
    bool supported = false;
    in->DoesSupportVideoMode(tiny->GetDisplayMode(), kFormat8BitYUV, kVideoInputDefault, &supported);
    EXPECT_TRUE(supported);
    in->DoesSupportVideoMode(tiny->GetDisplayMode() + 1, kFormat8BitYUV, kVideoInputDefault, &supported);
    EXPECT_FALSE(supported);
    EXPECT_FALSE(cards.card(2));
}

TEST(VirtualCards, BadConfigurationsAreRefusedWithAReason)
{
    testsupport::VirtualCards cards(R"({"cards": []})");
    EXPECT_EQ(cards.control().CardCount(), 0);
    EXPECT_EQ(cards.backend()->CreateIterator(), nullptr);
    const char* bad[] = {
        "not json",
        R"({"cards": {}})",
        R"({"cards": [{"output": true}]})",
        R"({"cards": [{"name": "A", "modes": ["HD 4000p"]}]})",
        R"({"cards": [{"name": "A", "output": "yes"}]})",
        R"({"cards": [{"name": "A", "startTimecode": "25:00:00:00"}]})",
        R"({"cards": [{"name": "A", "modes": [{"name": "odd", "width": 63, "height": 36, "frameDuration": 1, "timeScale": 25}]}]})",
        R"({"cards": [{"name": "A", "modes": [{"name": "huge", "width": 100000, "height": 36, "frameDuration": 1, "timeScale": 25}]}]})",
        R"({"cards": [{"name": "A", "modes": [{"name": "slow", "width": 64, "height": 36, "frameDuration": 2, "timeScale": 1}]}]})",
    };
    for (const char* json : bad) {
        std::string error;
        EXPECT_FALSE(cards.control().Configure(json, &error)) << json;
        EXPECT_FALSE(error.empty()) << json;
    }
    EXPECT_EQ(cards.control().CardCount(), 0); // a refused configuration changes nothing
}
