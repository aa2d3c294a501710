#include "foundation/BuiltinImages.h"

#include <cstring>

namespace
{
// Art: '.' transparent, '#' black, 'o' white. Rows and columns missing at
// the right and bottom are transparent.
struct CursorArt
{
    POINT hotSpot;
    const char* const* rows;
    int rowCount;
};

const char* const kHandCursor[] = {
    ".....##",
    "....#oo#",
    "....#oo#",
    "....#oo#",
    "....#oo#",
    "....#oo###",
    "....#oo#oo###",
    "....#oo#oo#oo##",
    "....#oo#oo#oo#o#",
    ".##.#oo#oo#oo#oo#",
    "#oo##oooooooooooo#",
    "#ooo#oooooooooooo#",
    ".#ooooooooooooooo#",
    "..#oooooooooooooo#",
    "..#oooooooooooooo#",
    "...#ooooooooooooo#",
    "...#oooooooooooo#",
    "....#ooooooooooo#",
    "....#ooooooooooo#",
    ".....#oooooooooo#",
    ".....############",
};

const char* const kMoveCursor[] = {
    "",
    "",
    "..............###",
    ".............##o##",
    "............##ooo##",
    "...........##ooooo##",
    "..........##ooooooo##",
    "..........#ooooooooo#",
    "..........#####o#####",
    "..............#o#",
    "......###.....#o#.....###",
    ".....##o#.....#o#.....#o##",
    "....##oo#.....#o#.....#oo##",
    "...##ooo#.....#o#.....#ooo##",
    "..##oooo#######o#######oooo##",
    "..#ooooooooooooooooooooooooo#",
    "..##oooo#######o#######oooo##",
    "...##ooo#.....#o#.....#ooo##",
    "....##oo#.....#o#.....#oo##",
    ".....##o#.....#o#.....#o##",
    "......###.....#o#.....###",
    "..............#o#",
    "..........#####o#####",
    "..........#ooooooooo#",
    "..........##ooooooo##",
    "...........##ooooo##",
    "............##ooo##",
    ".............##o##",
    "..............###",
};

const char* const kNoDropCursor[] = {
    "",
    "",
    "",
    "",
    "............#######",
    ".........####ooooo####",
    "........##ooooooooooo##",
    ".......##ooooooooooooo##",
    "......##oooo#######oooo##",
    ".....##oooo##.....###ooo##",
    ".....#oooooo##......##ooo#",
    ".....#ooo#ooo##......#ooo#",
    "....##oo###ooo##.....##oo##",
    "....#ooo#.##ooo##.....#ooo#",
    "....#ooo#..##ooo##....#ooo#",
    "....#ooo#...##ooo##...#ooo#",
    "....#ooo#....##ooo##..#ooo#",
    "....#ooo#.....##ooo##.#ooo#",
    "....##oo##.....##ooo###oo##",
    ".....#ooo#......##ooo#ooo#",
    ".....#ooo##......##oooooo#",
    ".....##ooo###.....##oooo##",
    "......##oooo#######oooo##",
    ".......##ooooooooooooo##",
    "........##ooooooooooo##",
    ".........####ooooo####",
    "............#######",
};

template <size_t N> constexpr CursorArt Art(POINT hotSpot, const char* const (&rows)[N])
{
    return {hotSpot, rows, static_cast<int>(N)};
}

const CursorArt kCursors[BuiltinCursorCount] = {
    Art({5, 0}, kHandCursor),
    Art({15, 15}, kMoveCursor),
    Art({15, 15}, kNoDropCursor),
};

// Icons at 16 by 16, doubled into their 32 by 32 masks.
// clang-format off
const char* const kIcons[BuiltinIconCount][16] = {
    // ArrowRightIcon: the submenu arrow.
    {
        "",
        "",
        "",
        "",
        "......#",
        "......##",
        "......###",
        "......####",
        "......####",
        "......###",
        "......##",
        "......#",
    },
    // RadioBulletIcon.
    {
        "",
        "",
        "",
        "",
        "",
        "......####",
        ".....######",
        ".....######",
        ".....######",
        ".....######",
        "......####",
    },
    // CheckMarkIcon: the menus' check mark.
    {
        "",
        "",
        "",
        "",
        "...........#",
        "..........##",
        "..#......###",
        "..##....###",
        "..###..###",
        "...######",
        "....####",
        ".....##",
    },
    // ArrowDownIcon.
    {
        "",
        "",
        "",
        "",
        "",
        "",
        "....#######",
        ".....#####",
        "......###",
        ".......#",
    },
    // ArrowUpIcon.
    {
        "",
        "",
        "",
        "",
        "",
        "",
        ".......#",
        "......###",
        ".....#####",
        "....#######",
    },
    // ArrowLeftIcon.
    {
        "",
        "",
        "",
        "",
        ".........#",
        "........##",
        ".......###",
        "......####",
        "......####",
        ".......###",
        "........##",
        ".........#",
    },
    // CloseIcon.
    {
        "",
        "",
        "",
        "...##.....##",
        "....##...##",
        ".....##.##",
        "......###",
        "......###",
        ".....##.##",
        "....##...##",
        "...##.....##",
    },
    // PlusBoxIcon: the tree's expand box.
    {
        "",
        "",
        "",
        "...#########",
        "...#ooooooo#",
        "...#ooo#ooo#",
        "...#ooo#ooo#",
        "...#o#####o#",
        "...#ooo#ooo#",
        "...#ooo#ooo#",
        "...#ooooooo#",
        "...#########",
    },
    // MinusBoxIcon: the tree's collapse box.
    {
        "",
        "",
        "",
        "...#########",
        "...#ooooooo#",
        "...#ooooooo#",
        "...#ooooooo#",
        "...#o#####o#",
        "...#ooooooo#",
        "...#ooooooo#",
        "...#ooooooo#",
        "...#########",
    },
    // SizeGripIcon.
    {
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "...........##",
        "...........##",
        "........##.##",
        "........##.##",
        ".....##.##.##",
    },
};
// clang-format on

// Sets one pixel of a pair of 32 by 32 one-bit masks.
void PutPixel(BYTE andMask[128], BYTE xorMask[128], int x, int y, char art)
{
    int byte = y * 4 + x / 8;
    BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
    if (art == '#' || art == 'o')
        andMask[byte] = static_cast<BYTE>(andMask[byte] & ~bit);
    if (art == 'o')
        xorMask[byte] = static_cast<BYTE>(xorMask[byte] | bit);
}

void ClearMasks(BYTE andMask[128], BYTE xorMask[128])
{
    std::memset(andMask, 0xFF, 128);
    std::memset(xorMask, 0x00, 128);
}

const WORD kPattern[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
} // namespace

bool GetBuiltinCursorMasks(int index, BYTE andMask[128], BYTE xorMask[128], POINT& hotSpot)
{
    if (index < 0 || index >= BuiltinCursorCount)
        return false;
    const CursorArt& art = kCursors[index];
    ClearMasks(andMask, xorMask);
    for (int y = 0; y < art.rowCount && y < 32; ++y)
    {
        const char* row = art.rows[y];
        for (int x = 0; x < 32 && row[x] != 0; ++x)
            PutPixel(andMask, xorMask, x, y, row[x]);
    }
    hotSpot = art.hotSpot;
    return true;
}

bool GetBuiltinIconMasks(int index, BYTE andMask[128], BYTE xorMask[128])
{
    if (index < 0 || index >= BuiltinIconCount)
        return false;
    ClearMasks(andMask, xorMask);
    for (int y = 0; y < 16; ++y)
    {
        const char* row = kIcons[index][y];
        if (row == nullptr)
            break;
        for (int x = 0; x < 16 && row[x] != 0; ++x)
        {
            for (int d = 0; d < 4; ++d)
                PutPixel(andMask, xorMask, x * 2 + d % 2, y * 2 + d / 2, row[x]);
        }
    }
    return true;
}

const WORD* GetPatternBits()
{
    return kPattern;
}
