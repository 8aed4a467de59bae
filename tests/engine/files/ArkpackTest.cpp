#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

void appendLittleEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void appendName(std::vector<uint8_t>& out, const std::string& name)
{
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), 32 - name.size(), 0);
}

size_t entriesIn(const std::string& folder)
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                             std::filesystem::directory_iterator()));
}

} // namespace

TEST(arkpack, WritesHeaderTableAndDataByteByByte)
{
    TempDir dir;
    const auto text = std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'};
    const auto slate = patternBytes(100, 3);
    writeBytes(dir / "a.txt", text);
    writeBytes(dir / "Slate.jpg", slate);
    ASSERT_EQ(runArkpack({dir / "misc.ark", dir / "a.txt", dir / "Slate.jpg"}), 0);

    std::vector<uint8_t> expected;
    appendLittleEndian(expected, 0);
    appendLittleEndian(expected, 258);
    appendLittleEndian(expected, 2);
    appendName(expected, "a.txt");
    appendLittleEndian(expected, 12 + 2 * 40);
    appendLittleEndian(expected, 5);
    appendName(expected, "Slate.jpg");
    appendLittleEndian(expected, 12 + 2 * 40 + 5);
    appendLittleEndian(expected, 100);
    expected.insert(expected.end(), text.begin(), text.end());
    expected.insert(expected.end(), slate.begin(), slate.end());
    EXPECT_EQ(readBytes(dir / "misc.ark"), expected);
}

TEST(arkpack, EmptyArchiveIsJustTheHeader)
{
    TempDir dir;
    ASSERT_EQ(runArkpack({dir / "empty.ark"}), 0);
    EXPECT_EQ(readBytes(dir / "empty.ark"),
              (std::vector<uint8_t>{0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(arkpack, RefusesNamesTheReaderCannotHoldOrTellApart)
{
    TempDir dir;
    const std::string longest(31, 'n');
    writeBytes(dir / longest, patternBytes(4, 1));
    writeBytes(dir / (longest + "x"), patternBytes(4, 1));
    writeBytes(dir / "Font.fnt", patternBytes(4, 1));
    writeBytes(dir / "FONT.FNT", patternBytes(4, 1));

    EXPECT_EQ(runArkpack({dir / "ok.ark", dir / longest}), 0);
    EXPECT_NE(runArkpack({dir / "long.ark", dir / (longest + "x")}), 0);
    EXPECT_NE(runArkpack({dir / "twice.ark", dir / "Font.fnt", dir / "FONT.FNT"}), 0);
    EXPECT_NE(runArkpack({dir / "missing.ark", dir / "absent.bin"}), 0);
    EXPECT_NE(runArkpack({dir / "folder.ark", dir.path()}), 0);

    // Failed runs leave nothing behind: the five inputs and the one good archive.
    EXPECT_EQ(entriesIn(dir.path()), 5u);
}
