#include "platform/xpc/CborNesting.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace platform {

namespace {

constexpr std::uint8_t kArray = 4;
constexpr std::uint8_t kMap = 5;
constexpr std::uint8_t kTag = 6;
constexpr std::uint8_t kIndefinite = 31;
constexpr std::uint8_t kBreak = 0xff;
constexpr std::int64_t kOpenEnded = -1;

struct Head {
    std::uint8_t major = 0;
    std::uint8_t info = 0;
    std::uint64_t argument = 0;
};

// Reads the head of the item at `at`, moving past it.
std::optional<Head> readHead(QByteArrayView bytes, qsizetype& at)
{
    if (at >= bytes.size())
        return std::nullopt;
    const auto first = std::uint8_t(bytes[at++]);
    Head head{std::uint8_t(first >> 5), std::uint8_t(first & 31), 0};
    if (head.info < 24) {
        head.argument = head.info;
        return head;
    }
    if (head.info == kIndefinite)
        return head;
    if (head.info > 27)
        return std::nullopt;
    const qsizetype length = qsizetype(1) << (head.info - 24);
    if (bytes.size() - at < length)
        return std::nullopt;
    for (qsizetype i = 0; i < length; ++i)
        head.argument = head.argument << 8 | std::uint8_t(bytes[at++]);
    return head;
}

// Moves past the item at `at` and everything inside it. nullopt when the bytes end early or are
// not well-formed; tooDeep is set (and nullopt answered) when a level below maxDepth is opened.
std::optional<qsizetype> skipItem(QByteArrayView bytes, qsizetype at, int maxDepth, bool& tooDeep)
{
    // Items still expected by each open level, or kOpenEnded until its break byte.
    std::vector<std::int64_t> open;
    const auto itemDone = [&open] {
        while (!open.empty() && open.back() != kOpenEnded && --open.back() == 0)
            open.pop_back();
    };
    do {
        if (at < bytes.size() && std::uint8_t(bytes[at]) == kBreak && !open.empty() && open.back() == kOpenEnded) {
            ++at;
            open.pop_back();
            itemDone();
            continue;
        }
        const std::optional<Head> head = readHead(bytes, at);
        if (!head)
            return std::nullopt;
        std::int64_t items = 0;
        switch (head->major) {
        case 2:
        case 3:
            if (head->info != kIndefinite) {
                if (head->argument > std::uint64_t(bytes.size() - at))
                    return std::nullopt;
                at += qsizetype(head->argument);
                break;
            }
            items = kOpenEnded; // chunks up to a break
            break;
        case kArray:
        case kMap:
            if (head->info == kIndefinite) {
                items = kOpenEnded;
            } else {
                // Every item takes at least a byte: a count beyond what is left cannot be met.
                const std::uint64_t count = head->argument * (head->major == kMap ? 2 : 1);
                if (head->argument > std::uint64_t(bytes.size()) || count > std::uint64_t(bytes.size() - at))
                    return std::nullopt;
                items = std::int64_t(count);
            }
            break;
        case kTag:
            if (head->info == kIndefinite)
                return std::nullopt;
            items = 1;
            break;
        case 7:
            if (head->info == kIndefinite)
                return std::nullopt; // a break outside an open-ended level
            break;
        default: // integers
            if (head->info == kIndefinite)
                return std::nullopt;
            break;
        }
        if (items == 0) {
            itemDone();
            continue;
        }
        if (int(open.size()) >= maxDepth) {
            tooDeep = true;
            return std::nullopt;
        }
        open.push_back(items);
    } while (!open.empty());
    return at;
}

} // namespace

bool cborNestsWithin(QByteArrayView bytes, int maxDepth)
{
    bool tooDeep = false;
    skipItem(bytes, 0, maxDepth, tooDeep);
    return !tooDeep;
}

QByteArray cborMapWithoutNestedValues(QByteArrayView bytes)
{
    constexpr int kAnyDepth = std::numeric_limits<int>::max();
    qsizetype at = 0;
    const std::optional<Head> map = readHead(bytes, at);
    if (!map || map->major != kMap)
        return {};
    const bool openEnded = map->info == kIndefinite;
    if (!openEnded && map->argument > std::uint64_t(bytes.size()))
        return {};
    QByteArray out = bytes.first(at).toByteArray();
    bool tooDeep = false;
    for (std::uint64_t entry = 0; openEnded || entry < map->argument; ++entry) {
        if (openEnded && at < bytes.size() && std::uint8_t(bytes[at]) == kBreak) {
            out.append(char(kBreak));
            return out;
        }
        const qsizetype key = at;
        const std::optional<qsizetype> value = skipItem(bytes, key, kAnyDepth, tooDeep);
        if (!value)
            return {};
        const std::optional<qsizetype> end = skipItem(bytes, *value, kAnyDepth, tooDeep);
        if (!end)
            return {};
        out.append(bytes.sliced(key, *value - key).toByteArray());
        const std::uint8_t major = std::uint8_t(bytes[*value]) >> 5;
        if (major == kArray || major == kMap || major == kTag)
            out.append(char(0xf6)); // null
        else
            out.append(bytes.sliced(*value, *end - *value).toByteArray());
        at = *end;
    }
    return out;
}

} // namespace platform
