// The module's fixed tables: release stages, keys, text forms of property values, path
// shortening and the breadcrumb type map.
#include "diagnostics/AnalyticEvent.h"
#include "diagnostics/Diagnostics.h"
#include "diagnostics/ReleaseStage.h"
#include "diagnostics/ReportConfiguration.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace QMDiagnostics;

TEST(ReleaseStage, FollowsTheVersionText)
{
    const std::pair<const char*, ReleaseStage> table[] = {
        {"2024.3.1", ReleaseStage::daily},      {"+2024.1.0", ReleaseStage::daily},
        {"2000.0.0", ReleaseStage::daily},      {"7.2.1", ReleaseStage::production},
        {"2024.3", ReleaseStage::production},   {"2024.3.1.5", ReleaseStage::production},
        {"1999.9.9", ReleaseStage::production}, {"main", ReleaseStage::main},
        {"Main", ReleaseStage::production},     {".3.1", ReleaseStage::production},
        {"2024a.3.1", ReleaseStage::production}, {"-2024.3.1", ReleaseStage::production},
        {"99999999999999999999.1.1", ReleaseStage::production}, // beyond 64 bits
        {"9223372036854775807.0.0", ReleaseStage::daily},
        {"", ReleaseStage::production},
    };
    for (const auto& [version, stage] : table)
        EXPECT_EQ(releaseStageForVersion(QString::fromLatin1(version)), stage) << version;
    EXPECT_EQ(releaseStageForVersion(std::nullopt), ReleaseStage::debug);
    EXPECT_EQ(releaseStageName(ReleaseStage::daily), QStringLiteral("daily"));
    EXPECT_EQ(releaseStageName(ReleaseStage::beta), QStringLiteral("beta"));
}

TEST(DiagnosticsKeys, EveryProductHasAKeyAndASecret)
{
    const QRegularExpression key(QStringLiteral("^[0-9a-f]{32}$"));
    const QRegularExpression secret(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    for (auto product : {Diagnostics::APIKey::crv, Diagnostics::APIKey::zel, Diagnostics::APIKey::klv}) {
        const auto k = Diagnostics::keys(product);
        EXPECT_TRUE(key.match(QString::fromLatin1(k.crashReporterKey)).hasMatch());
        EXPECT_TRUE(secret.match(QString::fromLatin1(k.analyticsAppSecret)).hasMatch());
    }
    EXPECT_STREQ(Diagnostics::keys(Diagnostics::APIKey::klv).crashReporterKey, "5c1e0a7f3b9d24e6a8f0c2b4d6e81357");
}

namespace {

struct Clip {
    QString rawValue() const { return QStringLiteral("prores"); }
};

struct ExportEvent : AnalyticEventRepresentable, CodableAnalyticEventProperties {
    AnalyticEventProperty<bool> hd {true, QStringLiteral("hd")};
    AnalyticEventProperty<QSizeF> size {QSizeF(1920, 1080), QStringLiteral("size")};
    AnalyticEventProperty<double> ratio {0.1, QStringLiteral("ratio")};
    AnalyticEventProperty<std::int64_t> offset {-5, QStringLiteral("offset")};
    AnalyticEventProperty<std::uint32_t> count {7, QStringLiteral("count")};
    AnalyticEventProperty<Clip> codec {Clip {}, QStringLiteral("codec")};
    AnalyticEventProperty<std::optional<QString>> note {QStringLiteral("note")};
    AnalyticEventProperty<QString> first {QStringLiteral("a"), QStringLiteral("dup")};
    AnalyticEventProperty<QString> second {QStringLiteral("b"), QStringLiteral("dup")};

    QString name() const override { return QStringLiteral("Export"); }
    std::optional<AnalyticProperties> properties() const override { return analyticProperties(); }
    std::vector<const CodableAnalyticEventProperty*> wrappedProperties() const override
    {
        return {&hd, &size, &ratio, &offset, &count, &codec, &note, &first, &second};
    }
};

struct Bare : AnalyticEventRepresentable, CodableAnalyticEventProperties {
    QString name() const override { return QStringLiteral("Bare"); }
    std::optional<AnalyticProperties> properties() const override { return std::nullopt; }
    std::vector<const CodableAnalyticEventProperty*> wrappedProperties() const override { return {}; }
};

struct Recorder : AnalyticEventRecorder {
    void record(const QString& name, const std::optional<AnalyticProperties>& properties) override
    {
        names.append(name);
        last = properties;
    }
    QStringList names;
    std::optional<AnalyticProperties> last;
};

} // namespace

TEST(AnalyticEvent, ValuesTakeTheirTextForms)
{
    EXPECT_EQ(analyticValue(1.5), QStringLiteral("1.5"));
    EXPECT_EQ(analyticValue(2.0), QStringLiteral("2.0"));
    EXPECT_EQ(analyticValue(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(analyticValue(-0.0), QStringLiteral("-0.0"));
    EXPECT_EQ(analyticValue(1e6), QStringLiteral("1000000.0"));
    EXPECT_EQ(analyticValue(1.0 / 3), QStringLiteral("0.3333333333333333"));
    EXPECT_EQ(analyticValue(1e300), QStringLiteral("1e+300"));
    EXPECT_EQ(analyticValue(std::int64_t(-5)), QStringLiteral("-5"));
    EXPECT_EQ(analyticValue(std::uint32_t(4000000000u)), QStringLiteral("4000000000"));
    EXPECT_EQ(analyticValue(QSizeF(1920, 1080)), QStringLiteral("{1920.0, 1080.0}"));
    EXPECT_EQ(analyticValue(false), QStringLiteral("false"));
}

TEST(AnalyticEvent, WrappedPropertiesFormTheDictionaryInOrder)
{
    ExportEvent event;
    const AnalyticProperties p = event.analyticProperties();
    EXPECT_EQ(p.value(QStringLiteral("hd")), QStringLiteral("true"));
    EXPECT_EQ(p.value(QStringLiteral("size")), QStringLiteral("{1920.0, 1080.0}"));
    EXPECT_EQ(p.value(QStringLiteral("ratio")), QStringLiteral("0.1"));
    EXPECT_EQ(p.value(QStringLiteral("offset")), QStringLiteral("-5"));
    EXPECT_EQ(p.value(QStringLiteral("count")), QStringLiteral("7"));
    EXPECT_EQ(p.value(QStringLiteral("codec")), QStringLiteral("prores"));
    EXPECT_FALSE(p.contains(QStringLiteral("note"))); // no value yet
    EXPECT_EQ(p.value(QStringLiteral("dup")), QStringLiteral("b")); // the later one wins
    EXPECT_EQ(p.size(), 7);
    event.note.wrappedValue = QStringLiteral("set");
    EXPECT_EQ(event.analyticProperties().value(QStringLiteral("note")), QStringLiteral("set"));
    EXPECT_TRUE(Bare().analyticProperties().isEmpty());

    Recorder recorder;
    event.record([&]() -> AnalyticEventRecorder& { return recorder; });
    Bare().record([&]() -> AnalyticEventRecorder& { return recorder; });
    EXPECT_EQ(recorder.names, (QStringList {QStringLiteral("Export"), QStringLiteral("Bare")}));
    EXPECT_FALSE(recorder.last.has_value());
    EXPECT_EQ(event.analyticEvent().name, QStringLiteral("Export"));
}

TEST(ReportConfiguration, FilesAreShortenedToTheirTree)
{
    const std::pair<const char*, const char*> table[] = {
        {"/Users/builder/work/repo/shared/mac/Diagnostics/Sources/QMDiagnostics/Diagnostics",
         "shared/mac/Diagnostics/Sources/QMDiagnostics/Diagnostics"},
        {"/src/klv/app/shared/x.cpp", "klv/app/shared/x.cpp"},
        {"/home/ci/tools/build.cpp", "tools/build.cpp"},
        {"/home/ci/project/main.cpp", "/home/ci/project/main.cpp"},
        {"/home/ci/myklv/main.cpp", "/home/ci/myklv/main.cpp"}, // not directly after "/"
        {"klv/main.cpp", "klv/main.cpp"},                       // no "/" before it
        {"/home/ci/klvx/crv/a.cpp", "crv/a.cpp"},
        {"/home/ci/zel", "/home/ci/zel"},                       // a name, not a directory
    };
    for (const auto& [file, expected] : table)
        EXPECT_EQ(shortenedFilePath(QString::fromLatin1(file)), QString::fromLatin1(expected)) << file;
}

TEST(ReportConfiguration, PositionPropertiesSeverityAndFramesAreApplied)
{
    platform::reporting::ReportEvent event;
    event.errors.push_back({"E", "m", std::vector<platform::reporting::StackFrame>(7)});
    event.errors[0].stacktrace[5].address = 55;
    TrackingProperties properties {{QStringLiteral("line"), QStringLiteral("replaced")},
                                   {QStringLiteral("channel"), QStringLiteral("3")}};
    EXPECT_TRUE(configureReport(event, QStringLiteral("/x/klv/a.cpp"), 42, properties,
                                platform::reporting::Severity::Info));
    EXPECT_EQ(event.metadataValue("Error", "file"), "klv/a.cpp");
    EXPECT_EQ(event.metadataValue("Error", "line"), "replaced");
    EXPECT_EQ(event.metadataValue("Error", "channel"), "3");
    EXPECT_EQ(event.severity, platform::reporting::Severity::Info);
    ASSERT_EQ(event.errors[0].stacktrace.size(), 2u);
    EXPECT_EQ(event.errors[0].stacktrace[0].address, 55u);

    platform::reporting::ReportEvent shallow;
    shallow.errors.push_back({"E", "m", std::vector<platform::reporting::StackFrame>(3)});
    configureReport(shallow, {}, 1, {}, platform::reporting::Severity::Error);
    EXPECT_TRUE(shallow.errors[0].stacktrace.empty()); // never below empty
    platform::reporting::ReportEvent none;
    EXPECT_TRUE(configureReport(none, {}, 1, {}, platform::reporting::Severity::Error));
}

TEST(BreadcrumbTypes, MapOntoTheReportersTypesOfTheSameName)
{
    using T = Diagnostics::BreadcrumbType;
    const std::pair<T, const char*> table[] = {{T::manual, "manual"},   {T::log, "log"},
                                               {T::navigation, "navigation"}, {T::process, "process"},
                                               {T::request, "request"}, {T::state, "state"},
                                               {T::user, "user"}};
    for (const auto& [type, name] : table)
        EXPECT_STREQ(platform::reporting::breadcrumbTypeName(Diagnostics::reporterBreadcrumbType(type)), name);
    EXPECT_EQ(static_cast<int>(Diagnostics::reporterBreadcrumbType(T::log)), 2);
    EXPECT_EQ(static_cast<int>(Diagnostics::reporterBreadcrumbType(T::user)), 7);
}
