#include "engine/files/ssARKMan.h"
#include "engine/files/ssAFile.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

namespace {

// A resource root with "misc.ark" (packed by arkpack) and a few loose files beside it.
class ssARKManTest : public testing::Test {
protected:
    void SetUp() override
    {
        slate = patternBytes(100, 11);
        font = patternBytes(3000, 5);
        writeBytes(dir / "Slate.jpg", slate);
        writeBytes(dir / "Font24.fnt", font);
        ASSERT_EQ(runArkpack({dir / "misc.ark", dir / "Slate.jpg", dir / "Font24.fnt"}), 0);
        std::filesystem::remove(dir / "Slate.jpg");
        std::filesystem::remove(dir / "Font24.fnt");
        std::filesystem::create_directory(dir / "fonts");
        writeBytes(dir / "fonts/Loose.fnt", patternBytes(50, 2));
        writeBytes(dir / "Top.png", patternBytes(7, 4));
    }

    static std::vector<uint8_t> readAll(ssFile& file, int64_t chunk = 33)
    {
        std::vector<uint8_t> all;
        std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
        int64_t got;
        while ((got = file.Read(buffer.data(), chunk)) > 0)
            all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        return all;
    }

    TempDir dir;
    std::vector<uint8_t> slate;
    std::vector<uint8_t> font;
};

} // namespace

TEST_F(ssARKManTest, EntryStreamHasTheEntrySizeAndNeverReadsPastIt)
{
    ssARKMan manager(dir.path().c_str());
    auto file = manager.Open("Slate.jpg", "", "misc.ark");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(dynamic_cast<ssAFile*>(file.get()), nullptr);
    EXPECT_EQ(file->GetSize(), 100);

    // Asked for more than the entry holds: exactly the entry, and nothing of the next one.
    std::vector<uint8_t> buffer(1000, 0xEE);
    EXPECT_EQ(file->Read(buffer.data(), 1000), 100);
    EXPECT_TRUE(std::equal(slate.begin(), slate.end(), buffer.begin()));
    EXPECT_EQ(buffer[100], 0xEE);
    EXPECT_EQ(file->Read(buffer.data(), 1000), 0);
    EXPECT_EQ(file->Tell(), 100);
}

TEST_F(ssARKManTest, SeekWorksInsideTheEntry)
{
    ssARKMan manager(dir.path().c_str());
    auto file = manager.Open("Slate.jpg", "", "misc.ark");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Seek(-4, SEEK_END), 96);
    EXPECT_EQ(file->Tell(), 96);
    uint8_t tail[10];
    EXPECT_EQ(file->Read(tail, 10), 4);
    EXPECT_TRUE(std::equal(tail, tail + 4, slate.end() - 4));

    EXPECT_EQ(file->Seek(10, SEEK_SET), 10);
    EXPECT_EQ(file->Seek(5, SEEK_CUR), 15);
    uint8_t one = 0;
    EXPECT_EQ(file->Read(&one, 1), 1);
    EXPECT_EQ(one, slate[15]);

    // Before the entry start is refused; past its end reads nothing.
    EXPECT_EQ(file->Seek(-1, SEEK_SET), -1);
    EXPECT_EQ(file->Tell(), 16);
    EXPECT_EQ(file->Seek(-200, SEEK_END), -1);
    EXPECT_EQ(file->Seek(50, SEEK_END), 150);
    EXPECT_EQ(file->Read(&one, 1), 0);
    EXPECT_EQ(file->Seek(0, 7), -1);
}

TEST_F(ssARKManTest, EntryNamesIgnoreAsciiCase)
{
    ssARKMan manager(dir.path().c_str());
    for (const char* name : {"slate.jpg", "SLATE.JPG", "Slate.JPG"}) {
        auto file = manager.Open(name, "", "misc.ark");
        ASSERT_NE(dynamic_cast<ssAFile*>(file.get()), nullptr) << name;
        EXPECT_EQ(readAll(*file), slate) << name;
    }
    auto file = manager.Open("font24.FNT", "", "MISC.ARK");
    ASSERT_NE(dynamic_cast<ssAFile*>(file.get()), nullptr);
    EXPECT_EQ(readAll(*file), font);
    EXPECT_EQ(manager.GetArchiveCount(), 1);
}

TEST_F(ssARKManTest, FallsBackToLooseFiles)
{
    ssARKMan manager(dir.path().c_str());
    // Not in the archive: root/directory/name.
    auto loose = manager.Open("Loose.fnt", "fonts", "misc.ark");
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(dynamic_cast<ssAFile*>(loose.get()), nullptr);
    EXPECT_EQ(readAll(*loose), patternBytes(50, 2));
    // No such archive, and no archive at all: the loose file too.
    EXPECT_NE(manager.Open("Loose.fnt", "fonts", "other.ark"), nullptr);
    EXPECT_NE(manager.Open("Loose.fnt", "fonts", ""), nullptr);
    EXPECT_NE(manager.Open("Loose.fnt", "fonts", nullptr), nullptr);
    // An empty directory leaves out its slash.
    auto top = manager.Open("Top.png", "", "misc.ark");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetSize(), 7);
    // An empty archive name never looks into an archive.
    EXPECT_EQ(manager.Open("Slate.jpg", "", ""), nullptr);
}

TEST_F(ssARKManTest, NameInNeitherPlaceGivesNull)
{
    ssARKMan manager(dir.path().c_str());
    EXPECT_EQ(manager.Open("Absent.jpg", "", "misc.ark"), nullptr);
    EXPECT_EQ(manager.Open("Absent.jpg", "fonts", "misc.ark"), nullptr);
    EXPECT_EQ(manager.Open("", "", "misc.ark"), nullptr);
    EXPECT_EQ(manager.Open(nullptr, "", "misc.ark"), nullptr);
    // A folder is not a resource.
    EXPECT_EQ(manager.Open("fonts", "", ""), nullptr);
}

TEST_F(ssARKManTest, PathsThatClimbOutOfTheRootAreRefused)
{
    TempDir outside;
    writeBytes(outside / "secret", patternBytes(3, 0));
    const std::string up = "../" + std::filesystem::path(outside.path()).filename().string();
    ssARKMan manager(dir.path().c_str());
    EXPECT_EQ(manager.Open("secret", up.c_str(), ""), nullptr);
    EXPECT_EQ(manager.Open((up + "/secret").c_str(), "", ""), nullptr);
    EXPECT_EQ(manager.Open("Slate.jpg", "", "../misc.ark"), nullptr);
    EXPECT_EQ(manager.Open("Loose.fnt", "fonts/..", ""), nullptr);
    // Dots that are not a whole component are ordinary names.
    writeBytes(dir / "..dots", patternBytes(2, 0));
    EXPECT_NE(manager.Open("..dots", "", ""), nullptr);
}

TEST_F(ssARKManTest, EntryStreamsReadIndependently)
{
    ssARKMan manager(dir.path().c_str());
    auto a = manager.Open("Slate.jpg", "", "misc.ark");
    auto b = manager.Open("Font24.fnt", "", "misc.ark");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::vector<uint8_t> gotA, gotB;
    uint8_t chunk[7];
    int64_t n;
    do {
        n = a->Read(chunk, 7);
        gotA.insert(gotA.end(), chunk, chunk + n);
        const int64_t m = b->Read(chunk, 7);
        gotB.insert(gotB.end(), chunk, chunk + m);
        n += m;
    } while (n > 0);
    EXPECT_EQ(gotA, slate);
    EXPECT_EQ(gotB, font);
}

TEST_F(ssARKManTest, EntryStreamOutlivesItsManager)
{
    std::unique_ptr<ssFile> file;
    {
        ssARKMan manager(dir.path().c_str());
        file = manager.Open("Font24.fnt", "", "misc.ark");
    }
    ASSERT_NE(file, nullptr);
    file->Close();
    EXPECT_EQ(readAll(*file), font);
}

namespace {

void patch32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

// Each damage makes the whole archive count as empty: the loose file of the same name is used,
// and a name with no loose file gives null.
TEST_F(ssARKManTest, DamagedArchivesBehaveAsEmpty)
{
    const auto good = readBytes(dir / "misc.ark");
    writeBytes(dir / "Slate.jpg", patternBytes(9, 1));
    struct Damage {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> apply;
    };
    const std::vector<Damage> damages = {
        {"first word", [](auto& b) { patch32(b, 0, 1); }},
        {"version", [](auto& b) { patch32(b, 4, 259); }},
        {"count beyond file", [](auto& b) { patch32(b, 8, 0xFFFFFFFF); }},
        {"count one too many", [](auto& b) { patch32(b, 8, 3); }},
        {"offset beyond file", [](auto& b) { patch32(b, 12 + 32, 0xFFFFFF00); }},
        {"size beyond file", [](auto& b) { patch32(b, 12 + 40 + 36, 3001); }},
        {"name unterminated", [](auto& b) { std::fill(b.begin() + 12, b.begin() + 44, 'A'); }},
        {"truncated table", [](auto& b) { b.erase(b.begin() + 40, b.end()); }},
        {"truncated data", [](auto& b) { b.pop_back(); }},
        {"shorter than header", [](auto& b) { b.erase(b.begin() + 5, b.end()); }},
    };
    for (const auto& damage : damages) {
        auto bytes = good;
        damage.apply(bytes);
        writeBytes(dir / "misc.ark", bytes);
        ssARKMan manager(dir.path().c_str());
        auto slateFile = manager.Open("Slate.jpg", "", "misc.ark");
        ASSERT_NE(slateFile, nullptr) << damage.what;
        EXPECT_EQ(dynamic_cast<ssAFile*>(slateFile.get()), nullptr) << damage.what;
        EXPECT_EQ(slateFile->GetSize(), 9) << damage.what;
        EXPECT_EQ(manager.Open("Font24.fnt", "", "misc.ark"), nullptr) << damage.what;
        // Still registered (as empty): asked again, the same answer without rereading.
        EXPECT_EQ(manager.Open("Font24.fnt", "", "misc.ark"), nullptr) << damage.what;
        EXPECT_EQ(manager.GetArchiveCount(), 1) << damage.what;
    }
}

// Random damage to a real archive: every answer stays inside the file and the entry, and nothing
// reads out of bounds (the AddressSanitizer build checks the memory side).
TEST_F(ssARKManTest, SurvivesAThousandRandomCorruptions)
{
    const auto good = readBytes(dir / "misc.ark");
    const uint64_t tableEnd = 12 + 2 * 40;
    std::mt19937 random(20261208);
    std::vector<uint8_t> buffer(4096);
    int entriesOpened = 0;
    for (int round = 0; round < 1000; ++round) {
        auto bytes = good;
        const int damages = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < damages; ++d) {
            switch (random() % 5) {
            case 0: // any byte of the header or table
                if (!bytes.empty())
                    bytes[random() % std::min<uint64_t>(tableEnd, bytes.size())] =
                        static_cast<uint8_t>(random());
                break;
            case 1: // a whole offset, size or count field
                if (bytes.size() >= tableEnd) {
                    const size_t fields[] = {8, 12 + 32, 12 + 36, 52 + 32, 52 + 36};
                    patch32(bytes, fields[random() % 5], static_cast<uint32_t>(random()));
                }
                break;
            case 2: { // truncation
                const auto keep = static_cast<std::ptrdiff_t>(random() % (bytes.size() + 1));
                bytes.erase(bytes.begin() + keep, bytes.end());
                break;
            }
            case 3: // a bit anywhere
                if (!bytes.empty())
                    bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            default: // a small count that may or may not fit
                if (bytes.size() >= 12)
                    patch32(bytes, 8, static_cast<uint32_t>(random() % 6));
                break;
            }
        }
        writeBytes(dir / "misc.ark", bytes);
        ssARKMan manager(dir.path().c_str());
        for (const char* name : {"Slate.jpg", "Font24.fnt", "slate.jpg", "Top.png", "x"}) {
            auto file = manager.Open(name, "", "misc.ark");
            if (!file)
                continue;
            const int64_t size = file->GetSize();
            ASSERT_GE(size, 0);
            if (dynamic_cast<ssAFile*>(file.get())) {
                ++entriesOpened;
                ASSERT_LE(static_cast<uint64_t>(size), bytes.size());
            }
            file->Seek(static_cast<int64_t>(random() % 200) - 100, static_cast<int>(random() % 3));
            int64_t total = 0;
            int64_t got;
            while ((got = file->Read(buffer.data(), 1 + static_cast<int64_t>(random() % 4096))) > 0)
                total += got;
            ASSERT_LE(total, size) << "round " << round << " " << name;
        }
    }
    // The damage leaves some archives intact enough to open entries: both paths were exercised.
    EXPECT_GT(entriesOpened, 0);
}
