// Command dispatch: every row of the table reaches its operation, and what cannot be carried out
// is logged once and answered with nothing.
#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommunicationModuleController.h"
#include "platform/foundation/Log.h"
#include "tests/comm/core/RecordingInterpreter.h"
#include "tests/comm/core/TestParsers.h"
#include "tests/support/ManualClock.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Row {
    const char* command;
    const char* operation;
    bool answers;
};

const Row kTable[] = {
    {QMApplicationCommandTransportPlay, "interpretTransportPlay", false},
    {QMApplicationCommandTransportStop, "interpretTransportStop", false},
    {QMApplicationCommandTransportPause, "interpretTransportPause", false},
    {QMApplicationCommandTransportRewind, "interpretTransportRewind", false},
    {QMApplicationCommandTransportFastForward, "interpretTransportFastForward", false},
    {QMApplicationCommandTransportSeek, "interpretTransportSeek", false},
    {QMApplicationCommandTransportStep, "interpretTransportStep", false},
    {QMApplicationCommandTransportTimecode, "interpretTransportTimecode", false},
    {QMApplicationCommandClearAll, "interpretClearAll", false},
    {QMApplicationCommandClearBackground, "interpretClearBackground", false},
    {QMApplicationCommandClearSlide, "interpretClearSlide", false},
    {QMApplicationCommandClearProps, "interpretClearProps", false},
    {QMApplicationCommandClearAudio, "interpretClearAudio", false},
    {QMApplicationCommandClearLogo, "interpretClearLogo", false},
    {QMApplicationCommandSlideNext, "interpretSlideNext", false},
    {QMApplicationCommandSlidePrevious, "interpretSlidePrevious", false},
    {QMApplicationCommandPlaylistItemNext, "interpretPlaylistItemNext", false},
    {QMApplicationCommandPlaylistItemPrevious, "interpretPlaylistItemPrevious", false},
    {QMApplicationCommandMediaNext, "interpretMediaNext", false},
    {QMApplicationCommandMediaPrevious, "interpretMediaPrevious", false},
    {QMApplicationCommandGetCuedMedia, "interpretGetCuedMedia", true},
    {QMApplicationCommandGetCuedPresentation, "interpretGetCuedPresentation", true},
    {QMApplicationCommandGetCuedPlaylistItem, "interpretGetCuedPlaylistItem", true},
    {QMApplicationCommandGetCuedAudio, "interpretGetCuedAudio", true},
    {QMApplicationCommandCueMedia, "interpretCueMedia", false},
    {QMApplicationCommandListMedia, "interpretListMedia", true},
    {QMApplicationCommandListPresentation, "interpretListPresentation", true},
    {QMApplicationCommandListPlaylist, "interpretListPlaylistItem", true},
    {QMApplicationCommandListAudio, "interpretListAudio", true},
    {QMApplicationCommandQueryMedia, "interpretQueryMedia", true},
    {QMApplicationCommandDMXValuesChanged, "interpretDMXValuesChanged", false},
    {QMApplicationCommandMIDINote, "interpretMIDINote", false},
    {QMApplicationCommandMIDINotes, "interpretMIDINotes", false},
    {QMApplicationGetState, "currentApplicationStateForParams", true},
    {QMApplicationCommandApplicationInfo, "interpretApplicationInfo", true},
    {QMApplicationCommandRawData, "interpretRawData", false},
};

// Offers only what this application carries out.
class ApplicationLikeInterpreter : public QMApplicationCommandInterpreting {
public:
    int plays = 0;
    bool interpretTransportPlay(const Params&) override { return ++plays, true; }
    Answer currentApplicationState() override { return QVariant(QVariantMap{{QLatin1String(QMApplicationStateStop), true}}); }
};

} // namespace

TEST(CommandDispatch, EveryRowReachesItsOperationWithTheParameters)
{
    QMCommunicationModuleController controller;
    auto interpreter = std::make_shared<RecordingInterpreter>();
    controller.setCommandInterpreter(interpreter);
    platform::LogCapture capture;
    for (const Row& row : kTable) {
        const QVariantMap params{{QLatin1String(QMApplicationCommandPortNumber), 2}};
        const QVariant answer = controller.executeApplicationCommand(QString::fromLatin1(row.command), params);
        ASSERT_FALSE(interpreter->calls.isEmpty()) << row.command;
        EXPECT_EQ(interpreter->calls.last(), QString::fromLatin1(row.operation)) << row.command;
        if (interpreter->calls.last().startsWith(QStringLiteral("interpretClear")) || interpreter->calls.last().endsWith(QStringLiteral("Next"))
            || interpreter->calls.last().endsWith(QStringLiteral("Previous")))
            EXPECT_TRUE(interpreter->params.last().isEmpty()) << row.command;
        else
            EXPECT_EQ(interpreter->params.last(), params) << row.command;
        if (row.answers)
            EXPECT_EQ(answer.toMap().value(QStringLiteral("op")).toString(), QString::fromLatin1(row.operation)) << row.command;
        else
            EXPECT_FALSE(answer.isValid()) << row.command;
    }
    EXPECT_EQ(interpreter->calls.size(), qsizetype(std::size(kTable)));
    EXPECT_EQ(capture.count(), 0u);
}

TEST(CommandDispatch, StateQueryFallsBackToTheWholeApplicationState)
{
    QMCommunicationModuleController controller;
    auto interpreter = std::make_shared<RecordingInterpreter>();
    interpreter->offerStateForParams = false;
    controller.setCommandInterpreter(interpreter);
    const QVariant answer = controller.executeApplicationCommand(QString::fromLatin1(QMApplicationGetState), {});
    EXPECT_EQ(interpreter->calls, QStringList{QStringLiteral("currentApplicationState")});
    EXPECT_EQ(answer.toMap().value(QStringLiteral("op")), QStringLiteral("currentApplicationState"));
}

TEST(CommandDispatch, UnknownAndNotCarriedOutCommandsAreLoggedOnceAndAnsweredWithNothing)
{
    QMCommunicationModuleController controller;
    auto interpreter = std::make_shared<ApplicationLikeInterpreter>();
    controller.setCommandInterpreter(interpreter);
    for (const char* name : {QMApplicationCommandTransportSeek, QMApplicationCommandClearLiveVideo,
                             QMApplicationCommandGPITrigger, QMApplicationCommandListPlaylist, "NoSuchCommand"}) {
        platform::LogCapture capture;
        const QVariant answer = controller.executeApplicationCommand(QString::fromLatin1(name), {{QStringLiteral("k"), 1}});
        EXPECT_FALSE(answer.isValid()) << name;
        ASSERT_EQ(capture.count(), 1u) << name;
        EXPECT_EQ(capture.records().front().message,
                  std::string("QMCommunicationModuleController: Unknown Application Command ") + name + " params: { k = 1; }");
    }
    EXPECT_EQ(interpreter->plays, 0);
    controller.executeApplicationCommand(QString::fromLatin1(QMApplicationCommandTransportPlay), {});
    EXPECT_EQ(interpreter->plays, 1);
    // The protocol's own state form answers when the per-channel one is not offered.
    EXPECT_TRUE(controller.executeApplicationCommand(QString::fromLatin1(QMApplicationGetState), {})
                    .toMap().value(QLatin1String(QMApplicationStateStop)).toBool());
}

TEST(CommandDispatch, AControllersTimeCodesAreOneLineSummedUpOnceAMinuteAndAnotherCommandIsLoggedAtOnce)
{
    // A 9-pin controller hands on every time code its deck answers, 33 a second, each one new.
    testsupport::ManualClock clock;
    const testsupport::LogClockScope counting(clock);
    QMCommunicationModuleController controller;
    const auto interpreter = std::make_shared<ApplicationLikeInterpreter>();
    controller.setCommandInterpreter(interpreter);
    platform::LogCapture calls;
    platform::LogCapture written(platform::LogCapture::Sees::Written);
    const QString timecode = QString::fromLatin1(QMApplicationCommandTransportTimecode);
    const auto reply = [&](int frame) {
        controller.executeApplicationCommand(timecode, {{QLatin1String(QMApplicationCommandTransportParameterTimecode), frame}});
        clock.advance(30'000'000);
    };
    for (int frame = 0; frame < 1000; ++frame)
        reply(frame);
    const std::string line = std::string("QMCommunicationModuleController: Unknown Application Command ") + QMApplicationCommandTransportTimecode;
    const std::string params = std::string(" params: { ") + QMApplicationCommandTransportParameterTimecode + " = ";
    EXPECT_EQ(calls.count(), 1000u);
    ASSERT_EQ(written.count(), 1u);
    EXPECT_EQ(written.records()[0].message, line + params + "0; }");

    controller.executeApplicationCommand(QString::fromLatin1(QMApplicationCommandGPITrigger), {});
    ASSERT_EQ(written.count(), 2u);
    EXPECT_EQ(written.records()[1].message,
              std::string("QMCommunicationModuleController: Unknown Application Command ") + QMApplicationCommandGPITrigger + " params: { }");

    // The first reply a minute after the first line brings the count, with the latest time code
    // before it.
    for (int frame = 1000; frame <= 2000; ++frame)
        reply(frame);
    const auto records = written.records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].message, line + params + "1999; } ... repeated 1999 times");
}

TEST(CommandDispatch, WithoutAnInterpreterNothingHappensAndNothingIsLogged)
{
    QMCommunicationModuleController controller;
    platform::LogCapture capture;
    EXPECT_FALSE(controller.executeApplicationCommand(QString::fromLatin1(QMApplicationCommandTransportPlay), {}).isValid());
    {
        auto interpreter = std::make_shared<RecordingInterpreter>();
        controller.setCommandInterpreter(interpreter);
        EXPECT_TRUE(controller.commandInterpreter());
    }
    // Held weakly: gone with its owner.
    EXPECT_FALSE(controller.commandInterpreter());
    EXPECT_FALSE(controller.executeApplicationCommand(QString::fromLatin1(QMApplicationCommandListMedia), {}).isValid());
    EXPECT_EQ(capture.count(), 0u);
}

TEST(CommandDispatch, ParsersNameThemselvesInTheParameters)
{
    QMCommunicationModuleController controller;
    auto interpreter = std::make_shared<RecordingInterpreter>();
    controller.setCommandInterpreter(interpreter);
    auto parser = controller.activateParserForClass(BareParser::theClass());
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->delegate(), &controller);
    parser->executeApplicationCommand(QString::fromLatin1(QMApplicationCommandTransportStop), {{QLatin1String(QMApplicationCommandPortName), QStringLiteral("A")}});
    ASSERT_EQ(interpreter->params.size(), 1);
    EXPECT_EQ(qmParserFromParams(interpreter->params.first()), parser.get());
    EXPECT_EQ(interpreter->params.first().value(QLatin1String(QMApplicationCommandPortName)), QStringLiteral("A"));
}

TEST(CommandVocabulary, ConstantsAreTheirOwnNamesAndDescriptorsSubstitute)
{
    EXPECT_STREQ(QMApplicationCommandTransportPlay, "QMApplicationCommandTransportPlay");
    EXPECT_STREQ(QMApplicationGetState, "QMApplicationGetState");
    EXPECT_STREQ(QMApplicationCommandListPlaylist, "QMApplicationCommandListPlaylist");
    EXPECT_STREQ(QMProtocolCommandKeyParamParseBeforeSplitting, "QMProtocolCommandKeyParamParseBeforeSplitting");
    EXPECT_STREQ(QMProtocolCommandSplitDelimiterText, "|");

    auto param = [](qsizetype at, qsizetype length, const QVariant& value) {
        QVariantMap p{{QLatin1String(QMProtocolCommandKeyParamReplaceRange), QVariant::fromValue(QMRange{at, length})}};
        if (value.isValid())
            p.insert(QLatin1String(QMProtocolCommandKeyParamValue), value);
        return QVariant(p);
    };
    // "XX" grows to three characters, so the second range moves by one; a value-less one is skipped.
    EXPECT_EQ(qmSubstituteDescriptorParams(QStringLiteral("A XX B YY C ZZ"),
                                           {param(2, 2, QStringLiteral("123")), param(7, 2, QStringLiteral("7")), param(12, 2, {})}),
              QStringLiteral("A 123 B 7 C ZZ"));
    // A range beyond the text is skipped, not applied somewhere else.
    EXPECT_EQ(qmSubstituteDescriptorParams(QStringLiteral("AB"), {param(5, 2, QStringLiteral("x"))}), QStringLiteral("AB"));
    // Ranges at the ends of the number line, after a shift either way, are skipped too.
    constexpr qsizetype kMax = std::numeric_limits<qsizetype>::max();
    constexpr qsizetype kMin = std::numeric_limits<qsizetype>::min();
    const QVariantList extremes{param(kMax, 1, QStringLiteral("x")), param(1, kMax, QStringLiteral("y")),
                                param(kMin, 1, QStringLiteral("z")), param(-1, kMin, QStringLiteral("w"))};
    EXPECT_EQ(qmSubstituteDescriptorParams(QStringLiteral("AB"), QVariantList{param(0, 0, QStringLiteral("12"))} + extremes),
              QStringLiteral("12AB"));
    EXPECT_EQ(qmSubstituteDescriptorParams(QStringLiteral("AB"), QVariantList{param(0, 2, QStringLiteral(""))} + extremes), QString());
}
