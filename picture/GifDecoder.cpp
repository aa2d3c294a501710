#include "picture/GifDecoder.h"

#include "picture/ImageBytes.h"
#include "picture/ImageFile.h"

#include <cstdlib>
#include <cstring>

using imagebytes::Le16;
using imagebytes::ReadExact;

namespace
{
const int kExtension = 0x21;
const int kImage = 0x2C;
const int kTrailer = 0x3B;
const int kDisposeToBackground = 2;

int BitsForTable(int entries)
{
    if (entries <= 2)
        return 1;
    if (entries <= 16)
        return 4;
    return 8;
}

bool ReadTable(ImageFile& file, int flags, BYTE* rgb, int& size)
{
    size = 2 << (flags & 7);
    return ReadExact(file, rgb, static_cast<size_t>(size) * 3);
}

// Sub-blocks up to and with the terminating empty one; false at the file's end.
bool SkipSubBlocks(ImageFile& file)
{
    for (;;)
    {
        const long size = file.GetC();
        if (size < 0)
            return false;
        if (size == 0)
            return true;
        if (!file.Seek(size, SEEK_CUR))
            return false;
    }
}

// After a byte that starts no block: everything up to the next 0 byte.
void SkipToZero(ImageFile& file)
{
    long c;
    do
        c = file.GetC();
    while (c > 0);
}
} // namespace

CGifDecoder::CGifDecoder() : CPicture(PICTURE_GIF)
{
    std::memset(&m_global, 0, sizeof(m_global));
    m_control.transparent = -1;
    m_control.disposal = 0;
    std::memset(m_comment, 0, sizeof(m_comment));
    std::memset(m_palette, 0, sizeof(m_palette));
}

bool CGifDecoder::ReadExtension(ImageFile& file)
{
    const long code = file.GetC();
    if (code < 0)
        return false;
    if (code == 0xF9)
    {
        const long size = file.GetC();
        if (size < 0)
            return false;
        BYTE data[255];
        std::memset(data, 0, sizeof(data));
        if (!ReadExact(file, data, static_cast<size_t>(size)))
            return false;
        m_control.transparent = (data[0] & 1) ? data[3] : -1;
        m_control.disposal = (data[0] >> 2) & 7;
        m_info.frameDelay = Le16(data + 1);
    }
    else if (code == 0xFE)
    {
        const long size = file.GetC();
        if (size < 0)
            return false;
        if (size > 0)
        {
            if (!ReadExact(file, m_comment, static_cast<size_t>(size)))
                return false;
            m_comment[size] = 0;
        }
        else
        {
            // The empty sub-block was the terminator.
            return true;
        }
    }
    else if (code == 0xFF)
    {
        BYTE identifier[11];
        if (file.GetC() != 11 || !ReadExact(file, identifier, sizeof(identifier)))
            return false;
        const long size = file.GetC();
        if (size < 0)
            return false;
        if (size == 0)
            return true;
        BYTE data[255];
        if (!ReadExact(file, data, static_cast<size_t>(size)))
            return false;
        if (size > 2)
            m_loopCount = data[1] + 256 * data[2];
    }
    return SkipSubBlocks(file);
}

bool CGifDecoder::ReadFrame(ImageFile& file, Frame& frame)
{
    BYTE raw[9];
    if (!ReadExact(file, raw, sizeof(raw)))
        return false;
    frame.left = Le16(raw);
    frame.top = Le16(raw + 2);
    frame.width = Le16(raw + 4);
    frame.height = Le16(raw + 6);
    frame.interlaced = (raw[8] & 0x40) != 0;
    frame.local.size = 0;
    if (raw[8] & 0x80)
        return ReadTable(file, raw[8], frame.local.rgb, frame.local.size);
    return true;
}

bool CGifDecoder::FrameFits(const Frame& frame) const
{
    return frame.width > 0 && frame.height > 0 && frame.left + frame.width <= m_screenWidth &&
           frame.top + frame.height <= m_screenHeight;
}

int CGifDecoder::CountFrames(ImageFile& file, int& firstWidth, int& firstHeight, int& maxBits,
                             int& firstOtherTable)
{
    const long start = file.Tell();
    const Control control = m_control;
    const DWORD delay = m_info.frameDelay;
    int count = 0;
    maxBits = 1;
    firstOtherTable = -1;
    ColorTable first;
    first.size = 0;
    Frame frame;
    for (bool more = true; more;)
    {
        const long c = file.GetC();
        if (c < 0 || c == kTrailer)
            break;
        if (c == kExtension)
            more = ReadExtension(file);
        else if (c == kImage)
        {
            if (!ReadFrame(file, frame))
                break;
            // Frames that do not fit the screen are passed over and not counted.
            if (FrameFits(frame))
            {
                const ColorTable& table = frame.local.size != 0 ? frame.local : m_global;
                if (count == 0)
                {
                    firstWidth = frame.width;
                    firstHeight = frame.height;
                    first = table;
                }
                else if (firstOtherTable < 0 &&
                         (table.size != first.size ||
                          std::memcmp(table.rgb, first.rgb, static_cast<size_t>(table.size) * 3) !=
                              0))
                {
                    firstOtherTable = count;
                }
                const int bits = BitsForTable(table.size);
                if (bits > maxBits)
                    maxBits = bits;
                ++count;
            }
            more = file.GetC() >= 0 && SkipSubBlocks(file);
        }
        else if (c != 0)
            SkipToZero(file);
    }
    file.Seek(start, SEEK_SET);
    m_control = control;
    m_info.frameDelay = delay;
    return count;
}

int CGifDecoder::NextCode(ImageFile& file)
{
    while (m_bitCount < m_codeSize)
    {
        if (m_blockLeft == 0)
        {
            if (m_dataEnded)
                return -1;
            const long size = file.GetC();
            if (size <= 0)
            {
                m_dataEnded = true;
                return -1;
            }
            const size_t got = file.Read(m_block, 1, static_cast<size_t>(size));
            if (got < static_cast<size_t>(size))
                m_dataEnded = true;
            if (got == 0)
                return -1;
            m_blockLeft = static_cast<int>(got);
            m_blockPos = 0;
        }
        m_bitBuffer |= static_cast<DWORD>(m_block[m_blockPos++]) << m_bitCount;
        m_bitCount += 8;
        --m_blockLeft;
    }
    const int code = static_cast<int>(m_bitBuffer & ((1u << m_codeSize) - 1));
    m_bitBuffer >>= m_codeSize;
    m_bitCount -= m_codeSize;
    return code;
}

void CGifDecoder::OutputLine(const BYTE* line, int length)
{
    const Frame& frame = *m_frame;
    int row;
    if (frame.interlaced)
    {
        // Passes: rows 0, 8, 16 ...; 4, 12 ...; 2, 6 ...; 1, 3 ... Lines after
        // the last pass have no row.
        if (m_pass >= 4)
            return;
        row = m_rowPos;
        m_rowPos += m_rowStep;
        while (m_rowPos >= frame.height && m_pass < 4)
        {
            ++m_pass;
            static const int kStart[4] = {0, 4, 2, 1};
            static const int kStep[4] = {8, 8, 4, 2};
            if (m_pass < 4)
            {
                m_rowPos = kStart[m_pass];
                m_rowStep = kStep[m_pass];
            }
        }
    }
    else
    {
        row = m_line++;
    }
    if (row < 0 || row >= frame.height)
        return;
    if (length > frame.width)
        length = frame.width;
    // Frame rows count from the top, the picture's from the bottom.
    const int y = m_screenHeight - 1 - (frame.top + row);
    BYTE* bits = GetBits(y);
    if (bits == nullptr)
        return;
    const int bpp = GetBpp();
    for (int x = 0; x < length; ++x)
    {
        const BYTE index = line[x];
        const int sx = frame.left + x;
        if (index == m_frameTransparent)
            continue;
        if (m_trueColor)
        {
            BYTE* p = bits + sx * 3;
            p[0] = m_palette[index].rgbBlue;
            p[1] = m_palette[index].rgbGreen;
            p[2] = m_palette[index].rgbRed;
            AlphaRow(y)[sx] = 255;
        }
        else
        {
            if (bpp == 8)
                bits[sx] = index;
            else
                SetPixelIndex(sx, y, index);
        }
    }
}

int CGifDecoder::DecodeLzw(ImageFile& file, const Frame& frame)
{
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_blockLeft = 0;
    m_dataEnded = false;
    m_line = 0;
    m_rowPos = 0;
    m_rowStep = 8;
    m_pass = 0;
    m_frame = &frame;

    const long size = file.GetC();
    if (size < 0)
    {
        m_dataEnded = true;
        return -1;
    }
    if (size < 2 || size > 9)
        return -20;
    const int clear = 1 << size;
    const int end = clear + 1;
    const int firstFree = end + 1;
    m_codeSize = static_cast<int>(size) + 1;
    int slot = firstFree;
    int topSlot = 1 << m_codeSize;
    std::memset(m_prefix, 0, sizeof(m_prefix));
    std::memset(m_suffix, 0, sizeof(m_suffix));

    BYTE* line = static_cast<BYTE*>(std::malloc(static_cast<size_t>(frame.width) + 1));
    if (line == nullptr)
        return -10;
    int fill = 0;
    auto emit = [&](BYTE pixel)
    {
        line[fill++] = pixel;
        if (fill == frame.width)
        {
            OutputLine(line, fill);
            fill = 0;
        }
    };

    int oldCode = 0;
    int firstChar = 0;
    for (;;)
    {
        int c = NextCode(file);
        if (c < 0 || c == end)
            break;
        if (c == clear)
        {
            m_codeSize = static_cast<int>(size) + 1;
            slot = firstFree;
            topSlot = 1 << m_codeSize;
            do
                c = NextCode(file);
            while (c == clear);
            if (c < 0 || c == end)
                break;
            if (c >= slot)
                c = 0;
            oldCode = firstChar = c;
            emit(static_cast<BYTE>(c));
            continue;
        }
        int sp = 0;
        int code = c;
        if (code >= slot)
        {
            // The code being defined right now (or a damaged one): the previous
            // string and its own first character.
            code = oldCode;
            m_stack[sp++] = static_cast<BYTE>(firstChar);
        }
        // Damaged data can link codes into a loop: the stack bounds the walk.
        while (code >= firstFree && sp < static_cast<int>(sizeof(m_stack)) - 1)
        {
            m_stack[sp++] = m_suffix[code];
            code = m_prefix[code];
        }
        if (code >= firstFree)
            break;
        m_stack[sp++] = static_cast<BYTE>(code);
        firstChar = code;
        if (slot < topSlot)
        {
            m_suffix[slot] = static_cast<BYTE>(firstChar);
            m_prefix[slot] = static_cast<WORD>(oldCode);
            ++slot;
        }
        if (slot >= topSlot && m_codeSize < 12)
        {
            topSlot <<= 1;
            ++m_codeSize;
        }
        oldCode = c;
        while (sp > 0)
            emit(m_stack[--sp]);
    }
    if (fill > 0)
        OutputLine(line, fill);
    std::free(line);
    return 0;
}

void CGifDecoder::SkipFrameData(ImageFile& file)
{
    if (!m_dataEnded)
        SkipSubBlocks(file);
    m_dataEnded = true;
}

void CGifDecoder::ClearRect(int left, int top, int width, int height)
{
    for (int row = top; row < top + height; ++row)
    {
        const int y = m_screenHeight - 1 - row;
        for (int x = left; x < left + width; ++x)
        {
            if (m_trueColor)
                SetPixelColor(x, y, m_background, true);
            else
                SetPixelIndex(x, y, static_cast<BYTE>(m_backgroundIndex));
        }
    }
}

bool CGifDecoder::Decode(ImageFile& file)
{
    BYTE screen[13];
    if (!ReadExact(file, screen, sizeof(screen)) || std::memcmp(screen, "GIF8", 4) != 0)
        return false;
    m_screenWidth = Le16(screen + 6);
    m_screenHeight = Le16(screen + 8);
    m_screenBackground = screen[11];
    // Transparency is the file's to say, not left over from an earlier picture.
    m_info.transparentIndex = -1;
    if (m_info.escape == -1)
    {
        m_header.biWidth = m_screenWidth;
        m_header.biHeight = m_screenHeight;
        return true;
    }
    m_global.size = 0;
    if ((screen[10] & 0x80) && !ReadTable(file, screen[10], m_global.rgb, m_global.size))
        return false;

    int firstWidth = 0;
    int firstHeight = 0;
    int maxBits = 1;
    int firstOtherTable = -1;
    const int frames = CountFrames(file, firstWidth, firstHeight, maxBits, firstOtherTable);
    m_info.frameCount = frames;
    if (m_info.frame < 0 || m_info.frame >= frames)
        return false;
    // Tiles of the screen: every frame belongs to the one picture.
    const bool tiles = m_global.size == 0 && frames > 1 && firstWidth != m_screenWidth &&
                       firstHeight != m_screenHeight;
    if (tiles)
        m_info.frame = frames - 1;
    // One palette cannot show frames of different colour tables together.
    m_trueColor = tiles || (firstOtherTable >= 0 && m_info.frame >= firstOtherTable);

    int frameIndex = 0;
    int background = -1; // the first frame's transparent index
    int previousDisposal = 0;
    Frame previous;
    std::memset(&previous, 0, sizeof(previous));
    Frame frame;
    for (bool more = true; more;)
    {
        if (m_info.escape > 0)
            return false;
        const long c = file.GetC();
        if (c < 0 || c == kTrailer)
            break;
        if (c == 0)
            continue;
        if (c == kExtension)
        {
            more = ReadExtension(file);
            continue;
        }
        if (c != kImage)
        {
            SkipToZero(file);
            continue;
        }
        if (!ReadFrame(file, frame))
            break;
        const Control control = m_control;
        m_control.transparent = -1;
        m_control.disposal = 0;
        if (!FrameFits(frame))
        {
            more = file.GetC() >= 0 && SkipSubBlocks(file);
            continue;
        }

        const ColorTable& table = frame.local.size != 0 ? frame.local : m_global;
        m_frameTransparent = control.transparent;
        // Missing entries are white when the frame has a transparent index.
        const int entries = m_frameTransparent != -1 ? 256 : table.size;
        for (int i = 0; i < 256; ++i)
        {
            RGBQUAD& q = m_palette[i];
            if (i < table.size)
            {
                q.rgbRed = table.rgb[i * 3];
                q.rgbGreen = table.rgb[i * 3 + 1];
                q.rgbBlue = table.rgb[i * 3 + 2];
            }
            else
            {
                q.rgbRed = q.rgbGreen = q.rgbBlue = m_frameTransparent != -1 ? 255 : 0;
            }
            q.rgbReserved = 0;
        }

        if (frameIndex == 0)
        {
            if (Create(m_screenWidth, m_screenHeight, m_trueColor ? 24 : maxBits, PICTURE_GIF) ==
                nullptr)
                return false;
            background = m_frameTransparent;
            // The background is transparent when the first frame has a
            // transparent index, else the screen's background colour.
            m_backgroundIndex = background != -1 ? background : m_screenBackground;
            m_background = m_palette[m_backgroundIndex];
            m_background.rgbReserved = background != -1 ? 0 : 255;
            if (m_trueColor)
            {
                if (!AlphaCreate())
                    return false;
                ClearRect(0, 0, m_screenWidth, m_screenHeight);
            }
            else
            {
                Clear(static_cast<BYTE>(m_backgroundIndex));
            }
        }
        else if (previousDisposal == kDisposeToBackground)
        {
            ClearRect(previous.left, previous.top, previous.width, previous.height);
        }

        const int result = DecodeLzw(file, frame);
        if (result == -10)
            return false;
        if (m_info.escape != 0)
            return false;
        SkipFrameData(file);

        if (!m_trueColor)
        {
            SetPalette(m_palette, static_cast<DWORD>(entries));
            m_info.transparentIndex = background;
        }
        previousDisposal = control.disposal;
        previous = frame;
        if (frameIndex == m_info.frame)
            break;
        ++frameIndex;
    }
    if (!IsValid())
        return false;
    if (m_trueColor)
    {
        // An alpha plane only when something is transparent.
        const size_t size = PlaneSize();
        size_t i = 0;
        while (i < size && m_alpha[i] == 255)
            ++i;
        if (i == size)
            AlphaDelete();
    }
    return true;
}
