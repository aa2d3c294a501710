// The GIF decoder (image type 2): GIF87a and GIF89a with LZW decompression,
// interlaced frames, transparency from the graphic control, and animations.
//
// The picture's frame chooses how far an animation is played: frames 0 to
// frame are composed in order, each painted over what the ones before left
// (its transparent pixels show what lies below; a frame disposed "to the
// background" has its area cleared to the background before the next one).
// frameCount tells how many frames the file has, also when decoding fails.
//
// Two ways of composing: a palette picture of the screen's size while every
// frame composed uses the same colour table (it takes the first frame's
// transparent index), or a 24-bit picture with an alpha plane (only when
// something is transparent) once a frame brings a colour table of its own.
// Files without a global colour table whose frames are tiles of the screen
// (several frames, the first narrower and lower than the screen) always give
// the 24-bit picture of all their frames. Areas no frame covers, and areas of
// frames disposed "to the background", show the background: transparent
// when the first frame has a transparent index, else the screen's
// background colour. GIF fails without a text of its own.
#ifndef BRINDLEWOX_PICTURE_GIFDECODER_H
#define BRINDLEWOX_PICTURE_GIFDECODER_H

#include "picture/Picture.h"

class CGifDecoder : public CPicture
{
public:
    CGifDecoder();
    bool Decode(ImageFile& file);

    // What the file's extensions said (for the tests; the picture keeps only
    // the frame delay).
    int GetLoopCount() const { return m_loopCount; }
    const char* GetComment() const { return m_comment; }

private:
    struct ColorTable
    {
        BYTE rgb[256 * 3];
        int size; // entries; 0 = no table
    };
    struct Frame
    {
        int left;
        int top;
        int width;
        int height;
        bool interlaced;
        ColorTable local;
    };
    // The graphic control that applies to the next frame.
    struct Control
    {
        int transparent; // -1 = none
        int disposal;
    };

    bool ReadExtension(ImageFile& file);
    bool ReadFrame(ImageFile& file, Frame& frame);
    bool FrameFits(const Frame& frame) const;
    // Counts the frames from the current position (the file and the decoder's
    // state are as before afterwards); also the first frame's size and the
    // bits the largest colour table needs.
    // firstOtherTable: the first frame whose colour table differs from the
    // first frame's, or -1.
    int CountFrames(ImageFile& file, int& firstWidth, int& firstHeight, int& maxBits,
                    int& firstOtherTable);
    // 0, or a negative code: -1 no data, -20 a bad code size, -10 no memory.
    int DecodeLzw(ImageFile& file, const Frame& frame);
    int NextCode(ImageFile& file);
    void OutputLine(const BYTE* line, int length);
    // Steps over what is left of a frame's data sub-blocks.
    void SkipFrameData(ImageFile& file);
    // Paints a screen area (top-down coordinates) with the background.
    void ClearRect(int left, int top, int width, int height);

    int m_screenWidth = 0;
    int m_screenHeight = 0;
    int m_screenBackground = 0;
    ColorTable m_global;
    Control m_control;
    int m_loopCount = 0;
    char m_comment[256];

    // The frame being decoded and how its lines reach the picture.
    const Frame* m_frame = nullptr;
    RGBQUAD m_palette[256];
    int m_frameTransparent = -1;
    bool m_trueColor = false;
    int m_backgroundIndex = 0; // the background in the palette picture
    RGBQUAD m_background;      // ... and in the 24-bit one (alpha 0 = transparent)
    int m_line = 0;            // lines output so far (plain frames)
    int m_rowPos = 0;          // interlaced: frame row of the next line
    int m_rowStep = 8;
    int m_pass = 0;

    // LZW reader state.
    int m_codeSize = 0;
    DWORD m_bitBuffer = 0;
    int m_bitCount = 0;
    int m_blockLeft = 0;
    int m_blockPos = 0;
    bool m_dataEnded = false; // the terminating sub-block (or the file's end) was met
    BYTE m_block[255];
    WORD m_prefix[4096];
    BYTE m_suffix[4096];
    BYTE m_stack[4097];
};

#endif
