#include "platform/reporting/AnalyticsClient.h"
#include "tests/platform/reporting/support/ReportingFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform::reporting;
using testsupport::eventually;

namespace {

class AnalyticsClientTest : public testsupport::ReportingFixture {};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(CountryCode, ComesFromTheLocaleNameRegion)
{
    EXPECT_EQ(countryCodeFromLocaleName("de_CH.UTF-8"), "CH");
    EXPECT_EQ(countryCodeFromLocaleName("en_US"), "US");
    EXPECT_EQ(countryCodeFromLocaleName("fr_ca.utf8@euro"), "CA");
    EXPECT_EQ(countryCodeFromLocaleName("sr_RS@latin"), "RS");
    for (const char* none : {"C", "POSIX", "C.UTF-8", "en", "", "_US", "en_USA", "en_1", "en_"})
        EXPECT_FALSE(countryCodeFromLocaleName(none).has_value()) << none;

    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", "pt_BR.UTF-8");
    ScopedEnv lang("LANG", "en_US.UTF-8");
    EXPECT_EQ(countryCodeFromEnvironment(), "BR");
    {
        ScopedEnv overriding("LC_ALL", "ja_JP");
        EXPECT_EQ(countryCodeFromEnvironment(), "JP");
    }
    {
        ScopedEnv bare("LC_ALL", "C");
        EXPECT_FALSE(countryCodeFromEnvironment().has_value()); // the first set one decides
    }
}

TEST_F(AnalyticsClientTest, EventsFollowTheServiceLimits)
{
    auto queue = openQueue();
    AnalyticsClient client(queue);
    ASSERT_TRUE(client.start("7b3e9f12-4c0a-4d6e-9a81-2f5c7e0b3d94", "2026.1.1"));
    client.setCountryCode("CH");
    client.setEnabled(true);

    EXPECT_FALSE(client.trackEvent(""));
    EXPECT_FALSE(client.trackEvent(std::string(257, 'n')));
    EXPECT_TRUE(client.trackEvent(std::string(256, 'n')));
    EventProperties many;
    for (int i = 0; i < 25; ++i)
        many["key" + std::string(i < 10 ? "0" : "") + std::to_string(i)] = "v";
    const std::string longKey = std::string(124, 'k') + "\xc3\xa9" + "tail";
    many[longKey] = std::string(200, 'v');
    EXPECT_TRUE(client.trackEvent("Many", many));
    EXPECT_TRUE(client.trackEvent("Bare"));

    ASSERT_TRUE(server_.waitForCount(4)); // start logs + three events
    const auto bodies = bodiesTo("/analytics");
    ASSERT_EQ(bodies.size(), 4u);
    EXPECT_EQ(bodies[0]["logs"][0]["type"], "startService");
    EXPECT_EQ(server_.requestsTo("/analytics")[0].headers.at("app-secret"), "7b3e9f12-4c0a-4d6e-9a81-2f5c7e0b3d94");
    EXPECT_EQ(bodies[1]["logs"][0]["name"].get<std::string>().size(), 256u);
    const auto& manyLog = bodies[2]["logs"][0];
    EXPECT_EQ(manyLog["properties"].size(), AnalyticsClient::kMaxProperties);
    EXPECT_TRUE(manyLog["properties"].contains("key00"));
    EXPECT_FALSE(manyLog["properties"].contains("key24"));
    EXPECT_EQ(manyLog["device"]["carrierCountry"], "CH");
    EXPECT_FALSE(bodies[3]["logs"][0].contains("properties"));

    EventProperties longOnes {{longKey, std::string(200, 'v')}};
    EXPECT_TRUE(client.trackEvent("Long", longOnes));
    ASSERT_TRUE(server_.waitForCount(5));
    const auto props = bodiesTo("/analytics")[4]["logs"][0]["properties"];
    ASSERT_EQ(props.size(), 1u);
    const std::string key = props.begin().key();
    EXPECT_EQ(utf8Length(key), 125u);
    EXPECT_EQ(key, std::string(124, 'k') + "\xc3\xa9");
    EXPECT_EQ(props.begin().value().get<std::string>().size(), 125u);
}

TEST_F(AnalyticsClientTest, HeldUntilTheSwitchAppliesAndOffPurges)
{
    auto queue = openQueue();
    {
        AnalyticsClient client(queue);
        client.start("secret", "1.0");
        EXPECT_TRUE(client.isEnabled()); // never switched off on this machine
        EXPECT_TRUE(client.trackEvent("Kept while held"));
        EXPECT_EQ(queue->store().count(Channel::Analytics), 2u);
        client.setEnabled(false);
        EXPECT_EQ(queue->store().count(Channel::Analytics), 0u);
        EXPECT_FALSE(client.trackEvent("Dropped"));
    }
    AnalyticsClient nextRun(queue);
    EXPECT_FALSE(nextRun.isEnabled()); // the flag outlives the process
    nextRun.start("secret", "1.0");
    EXPECT_EQ(queue->store().count(Channel::Analytics), 0u); // no start logs while off
    nextRun.setEnabled(true);
    EXPECT_TRUE(nextRun.trackEvent("Now"));
    ASSERT_TRUE(server_.waitForCount(1));
    ASSERT_TRUE(eventually([&] { return queue->store().count() == 0; }));
    EXPECT_EQ(server_.count(), 1u);
}
