#include "platform/decklink/virtual/VirtualConfig.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

namespace platform::decklink {
namespace {

ModeSpec mode(DisplayModeId id, const char* name, int width, int height, TimeValue duration, TimeScale scale,
              FieldDominance field)
{
    return ModeSpec{id, name, width, height, duration, scale, field};
}

// Ids of configured (non-standard) modes start here.
constexpr DisplayModeId kCustomModeIds = 1000;
// Largest picture a configuration may ask for (8K), so a typo cannot exhaust memory.
constexpr int kMaxDimension = 8192;

bool parseTimecode(const std::string& text, Timecode* tc)
{
    int parts[4] = {};
    const char* p = text.data();
    const char* end = p + text.size();
    for (int i = 0; i < 4; ++i) {
        auto [next, ec] = std::from_chars(p, end, parts[i]);
        if (ec != std::errc() || next - p != 2)
            return false;
        p = next;
        if (i < 3) {
            if (p == end || (*p != ':' && *p != ';' && *p != '.'))
                return false;
            ++p;
        }
    }
    if (p != end || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return false;
    *tc = Timecode{parts[0], parts[1], parts[2], parts[3]};
    return true;
}

bool parseMode(const nlohmann::json& j, DisplayModeId customId, ModeSpec* out, std::string* error)
{
    if (j.is_string()) {
        const auto name = j.get<std::string>();
        for (const auto& m : standardModes()) {
            if (m.name == name) {
                *out = m;
                return true;
            }
        }
        *error = "unknown mode \"" + name + "\"";
        return false;
    }
    if (!j.is_object()) {
        *error = "a mode is a name or an object";
        return false;
    }
    ModeSpec m;
    m.id = customId;
    m.name = j.value("name", std::string());
    m.width = j.value("width", 0);
    m.height = j.value("height", 0);
    m.frameDuration = j.value("frameDuration", TimeValue(0));
    m.timeScale = j.value("timeScale", TimeScale(0));
    const auto field = j.value("field", std::string("progressive"));
    if (field == "progressive")
        m.field = FieldDominance::Progressive;
    else if (field == "upper")
        m.field = FieldDominance::UpperFieldFirst;
    else if (field == "lower")
        m.field = FieldDominance::LowerFieldFirst;
    else {
        *error = "unknown field dominance \"" + field + "\"";
        return false;
    }
    // 4:2:2 pictures need an even width; rates between 1 and 1000 frames per second.
    if (m.name.empty() || m.width < 2 || m.width % 2 || m.width > kMaxDimension || m.height < 1 ||
        m.height > kMaxDimension || m.frameDuration <= 0 || m.timeScale <= 0 ||
        m.timeScale > 1000 * m.frameDuration || m.frameDuration > m.timeScale) {
        *error = "mode \"" + m.name + "\" has impossible values";
        return false;
    }
    *out = m;
    return true;
}

} // namespace

int64_t ModeSpec::periodStartNs(int64_t k) const
{
    return int64_t((__int128(k) * frameDuration * 1'000'000'000) / timeScale);
}

int64_t ModeSpec::audioFramesBefore(int64_t k) const
{
    return int64_t((__int128(k) * frameDuration * kAudioSampleRate48kHz) / timeScale);
}

int ModeSpec::timecodeRate() const
{
    return int(std::lround(double(timeScale) / double(frameDuration)));
}

Timecode Timecode::plusFrames(int64_t count, int rate) const
{
    if (rate <= 0)
        return *this;
    const int64_t perDay = int64_t(rate) * 86400;
    int64_t total = ((int64_t(hours) * 3600 + minutes * 60 + seconds) * rate + frames + count) % perDay;
    if (total < 0)
        total += perDay;
    Timecode tc;
    tc.frames = int(total % rate);
    total /= rate;
    tc.seconds = int(total % 60);
    tc.minutes = int(total / 60 % 60);
    tc.hours = int(total / 3600);
    return tc;
}

const std::vector<ModeSpec>& standardModes()
{
    using F = FieldDominance;
    static const std::vector<ModeSpec> modes = {
        mode(1, "NTSC", 720, 486, 1001, 30000, F::LowerFieldFirst),
        mode(2, "PAL", 720, 576, 1, 25, F::UpperFieldFirst),
        mode(3, "HD 720p 50", 1280, 720, 1, 50, F::Progressive),
        mode(4, "HD 720p 59.94", 1280, 720, 1001, 60000, F::Progressive),
        mode(5, "HD 720p 60", 1280, 720, 1, 60, F::Progressive),
        mode(6, "HD 1080p 23.98", 1920, 1080, 1001, 24000, F::Progressive),
        mode(7, "HD 1080p 24", 1920, 1080, 1, 24, F::Progressive),
        mode(8, "HD 1080p 25", 1920, 1080, 1, 25, F::Progressive),
        mode(9, "HD 1080p 29.97", 1920, 1080, 1001, 30000, F::Progressive),
        mode(10, "HD 1080p 30", 1920, 1080, 1, 30, F::Progressive),
        mode(11, "HD 1080i 25", 1920, 1080, 1, 25, F::UpperFieldFirst),
        mode(12, "HD 1080i 29.97", 1920, 1080, 1001, 30000, F::UpperFieldFirst),
        mode(13, "HD 1080i 30", 1920, 1080, 1, 30, F::UpperFieldFirst),
        mode(14, "HD 1080p 50", 1920, 1080, 1, 50, F::Progressive),
        mode(15, "HD 1080p 59.94", 1920, 1080, 1001, 60000, F::Progressive),
        mode(16, "HD 1080p 60", 1920, 1080, 1, 60, F::Progressive),
    };
    return modes;
}

bool parseConfig(const std::string& json, BackendConfig* config, std::string* error)
{
    std::string why;
    const auto fail = [&](std::string reason) {
        if (error)
            *error = std::move(reason);
        return false;
    };
    const auto root = nlohmann::json::parse(json, nullptr, false);
    if (root.is_discarded() || !root.is_object())
        return fail("not a JSON object");
    const auto cards = root.find("cards");
    if (cards == root.end() || !cards->is_array())
        return fail("\"cards\" must be an array");
    BackendConfig parsed;
    DisplayModeId customId = kCustomModeIds;
    try {
        for (const auto& c : *cards) {
            if (!c.is_object())
                return fail("a card is an object");
            CardConfig card;
            card.name = c.value("name", std::string());
            if (card.name.empty())
                return fail("a card needs a \"name\"");
            card.output = c.value("output", true);
            card.input = c.value("input", true);
            card.referenceLocked = c.value("referenceLocked", true);
            if (const auto tc = c.value("startTimecode", std::string("00:00:00:00"));
                !parseTimecode(tc, &card.startTimecode))
                return fail("bad start time code \"" + tc + "\"");
            if (const auto modes = c.find("modes"); modes != c.end()) {
                if (!modes->is_array() || modes->empty())
                    return fail("\"modes\" must be a non-empty array");
                for (const auto& m : *modes) {
                    ModeSpec spec;
                    if (!parseMode(m, customId++, &spec, &why))
                        return fail(why);
                    card.modes.push_back(spec);
                }
            } else {
                card.modes = standardModes();
            }
            parsed.cards.push_back(std::move(card));
        }
    } catch (const nlohmann::json::exception& e) {
        // A value of the wrong type ("output": "yes").
        return fail(e.what());
    }
    *config = std::move(parsed);
    return true;
}

BackendConfig defaultConfig()
{
    BackendConfig config;
    CardConfig card;
    card.name = "Virtual SDI 1";
    card.modes = standardModes();
    config.cards.push_back(std::move(card));
    return config;
}

} // namespace platform::decklink
