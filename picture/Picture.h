// CPicture: the in-memory picture of every skinned control and dialog. One
// device-independent bitmap (bottom-up rows, 1, 4, 8 or 24 bits, optional
// palette) in a single malloc'd block, an optional 8-bit alpha plane, a
// transparent colour or palette index, a selection mask and per-image
// settings.
//
// Image code never throws: every failure is a false, null or 0 result and a
// text that GetLastError returns. Nothing here is thread-safe; each object is
// used by one thread at a time.
//
// Coordinates: x runs left to right from 0; y = 0 is the bottom row (rows are
// stored bottom-up). Colours are RGBQUADs (blue, green, red, alpha).
//
// Decoders are classes derived from CPicture that fill the same fields; see
// ImageDecoders.h for how one is plugged into format detection.
#ifndef BRINDLEWOX_PICTURE_PICTURE_H
#define BRINDLEWOX_PICTURE_PICTURE_H

#include "foundation/Base.h"

#include <cstddef>
#include <cstdint>

class ImageFile;

// Image type numbers: the `type` of a picture and the index of its codec
// option words.
enum PictureType : DWORD
{
    PICTURE_DETECT = 0,
    PICTURE_BMP = 1,
    PICTURE_GIF = 2,
    PICTURE_JPEG = 3,
    PICTURE_PNG = 4,
    PICTURE_ICO = 5,
    PICTURE_WBMP = 6,
    PICTURE_TYPE_COUNT = 7
};

// Interpolation methods of the resampler (any other number is bilinear).
enum PictureInterpolation
{
    INTERPOLATE_NEAREST = 1,
    INTERPOLATE_BILINEAR = 2,
    INTERPOLATE_BSPLINE = 3,
    INTERPOLATE_BICUBIC = 4,
    INTERPOLATE_BICUBIC2 = 5,
    INTERPOLATE_LANCZOS = 6,
    INTERPOLATE_BOX = 7,
    INTERPOLATE_HERMITE = 8,
    INTERPOLATE_HAMMING = 9,
    INTERPOLATE_SINC = 10,
    INTERPOLATE_BLACKMAN = 11,
    INTERPOLATE_BESSEL = 12,
    INTERPOLATE_GAUSSIAN = 13,
    INTERPOLATE_QUADRATIC = 14,
    INTERPOLATE_MITCHELL = 15,
    INTERPOLATE_CATROM = 16
};

// What a sample position outside the picture gives.
enum PictureOverflow
{
    OVERFLOW_COLOR = 1,       // the replacement colour (white, alpha 0, when none)
    OVERFLOW_BACKGROUND = 2,  // the image's transparent colour
    OVERFLOW_TRANSPARENT = 3, // transparent
    OVERFLOW_WRAP = 4,        // coordinates modulo the size
    OVERFLOW_REPEAT = 5,      // the edge pixel
    OVERFLOW_MIRROR = 6       // mirrored at the edges
};

class CPicture
{
public:
    // The largest picture accepted from anywhere: 32,767 pixels a side and a
    // pixel block of 256 MiB. Files are untrusted; anything larger is refused
    // with an error text instead of being allocated.
    static constexpr int kMaxSide = 32767;
    static constexpr uint64_t kMaxBlockBytes = 256ull << 20;

    explicit CPicture(DWORD type = PICTURE_DETECT);
    CPicture(int width, int height, int bits, DWORD type);
    // Copies the source (the type is taken from it).
    CPicture(const CPicture& source, bool copyPixels, bool copySelection, bool copyAlpha);
    CPicture(const CPicture&) = delete;
    CPicture& operator=(const CPicture&) = delete;
    virtual ~CPicture();

    // --- storage ---------------------------------------------------------------
    // False (nothing freed) while the object only views another image's storage.
    bool Destroy();
    // Width and height 1 to kMaxSide; bits below 2 → 1, 2..4 → 4, 5..8 → 8,
    // above 8 → 24. The pixels and palette start zeroed. Null on failure, with
    // the image left empty and the reason in GetLastError.
    BYTE* Create(int width, int height, int bits, DWORD type);
    void Copy(const CPicture& source, bool copyPixels = true, bool copySelection = true,
              bool copyAlpha = true);
    // Destroys this image and takes over everything of the source, which is
    // left empty. False when this image cannot be destroyed.
    bool Transfer(CPicture& source);
    // Takes the source's settings (escape, frame, codec options...) while this
    // image has no pixel block; the storage pointers are not taken.
    void CopyInfo(const CPicture& source);

    bool IsValid() const { return m_block != nullptr; }
    int GetWidth() const { return m_header.biWidth; }
    int GetHeight() const { return m_header.biHeight; }
    int GetBpp() const { return m_header.biBitCount; }
    DWORD GetRowBytes() const { return m_info.rowBytes; }
    DWORD GetType() const { return m_info.type; }
    BYTE GetJpegScale() const { return m_info.jpegScale; }
    void SetJpegScale(BYTE denominator) { m_info.jpegScale = denominator; }
    BYTE GetJpegQuality() const { return m_info.jpegQuality; }
    void SetJpegQuality(BYTE quality) { m_info.jpegQuality = quality; }
    const char* GetLastError() const { return m_info.lastError; }
    // Row 0 is the bottom row; null without pixels or for a row outside.
    BYTE* GetBits(int row = 0) const;
    DWORD GetImageSize() const { return m_header.biSizeImage; }
    const BITMAPINFOHEADER& GetHeader() const { return m_header; }
    bool IsInside(int x, int y) const;
    // Fills every pixel byte: 1-bit images get 255 for any non-zero value,
    // 4-bit images (value & 15) × 17.
    void Clear(BYTE value = 0);

    // Settings.
    int GetXDPI() const { return m_info.xDpi; }
    int GetYDPI() const { return m_info.yDpi; }
    // Below 1 becomes 96; the header's pixels per metre follow.
    void SetXDPI(int dpi);
    void SetYDPI(int dpi);
    // 0 runs; any other value cancels decoding and resampling at the next
    // row; -1 asks the decoders that can for the picture size only.
    void SetEscape(int escape) { m_info.escape = escape; }
    int GetEscape() const { return m_info.escape; }
    int GetProgress() const { return m_info.progress; }
    void SetFrame(int frame) { m_info.frame = frame; }
    int GetFrame() const { return m_info.frame; }
    int GetFrameCount() const { return m_info.frameCount; }
    DWORD GetFrameDelay() const { return m_info.frameDelay; }
    BYTE GetAlphaMax() const { return m_info.alphaMax; }
    void SetAlphaMax(BYTE alphaMax) { m_info.alphaMax = alphaMax; }
    bool IsAlphaPaletteEnabled() const { return m_info.alphaPaletteEnabled; }
    void SetAlphaPaletteEnabled(bool enabled) { m_info.alphaPaletteEnabled = enabled; }
    bool IsEnabled() const { return m_info.enabled; }
    void Enable(bool enabled) { m_info.enabled = enabled; }
    // Type 0 is the image's own type; types from 7 on give 0 / false.
    DWORD GetCodecOption(DWORD type = 0) const;
    bool SetCodecOption(DWORD value, DWORD type = 0);

    // --- transparency ----------------------------------------------------------
    int GetTransIndex() const { return m_info.transparentIndex; }
    void SetTransIndex(int index) { m_info.transparentIndex = index; }
    // The alpha byte is stored as 0.
    void SetTransColor(RGBQUAD color);
    // Below 24 bits with an index set: that palette colour; else the colour.
    RGBQUAD GetTransColor() const;
    bool IsIndexed() const { return m_header.biClrUsed != 0; }

    // --- palette (each does nothing without a pixel block or palette) ---------
    RGBQUAD* GetPalette() const;
    DWORD GetPaletteSize() const { return m_header.biClrUsed * sizeof(RGBQUAD); }
    DWORD GetNumColors() const { return m_header.biClrUsed; }
    RGBQUAD GetPaletteColor(BYTE index) const;
    void SetPaletteColor(BYTE index, BYTE red, BYTE green, BYTE blue, BYTE alpha = 0);
    void SetPalette(const RGBQUAD* entries, DWORD count);
    // Triples in red, green, blue order; alpha bytes unchanged.
    void SetPaletteTriples(const BYTE* triples, DWORD count);
    // A missing green array means the red one, a missing blue one the green.
    void SetPaletteRgb(DWORD count, const BYTE* red, const BYTE* green, const BYTE* blue);
    void SetGrayPalette();
    // True only for a palette whose entry i is the grey i.
    bool IsGrayScale() const;
    // The nearest palette entry; the last answer is cached.
    BYTE GetNearestIndex(RGBQUAD color);
    // 24-bit images: swaps the outer bytes of every 3-byte group.
    void RgbToBgr(BYTE* buffer, DWORD length) const;

    // --- pixels ----------------------------------------------------------------
    BYTE GetPixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, BYTE index);
    RGBQUAD GetPixelColor(int x, int y, bool withAlpha = true) const;
    // As GetPixelColor inside the picture, without any check.
    RGBQUAD BlindGetPixelColor(int x, int y) const;
    void SetPixelColor(int x, int y, RGBQUAD color, bool setAlpha = false);
    // Null for indexed images.
    BYTE* BlindGetPixelPointer(int x, int y) const;

    // --- alpha and selection ---------------------------------------------------
    bool AlphaIsValid() const { return m_alpha != nullptr; }
    // A fully opaque plane, only when there is none. False when it cannot be had.
    bool AlphaCreate();
    void AlphaDelete();
    void AlphaSet(int x, int y, BYTE alpha);
    BYTE AlphaGet(int x, int y) const;
    BYTE* AlphaGetPointer(int x = 0, int y = 0) const;
    bool AlphaFlip();
    void SelectionDelete();
    // Marks one pixel selected, making the mask (nothing selected) on first use.
    bool SelectionAddPixel(int x, int y);
    bool SelectionIsInside(int x, int y) const;
    bool SelectionIsValid() const { return m_selection != nullptr; }
    // Left, top, right, bottom in bottom-up coordinates (top > bottom).
    const RECT& GetSelectionBox() const { return m_info.selectionBox; }

    // --- whole-image operations ------------------------------------------------
    bool Flip();
    bool Negative();
    // Packed 16- or 32-bit pixels into this image's 24-bit rows; the source may
    // be the pixel memory itself.
    void DecodeBitfields(const BYTE* source, DWORD redMask, DWORD greenMask, DWORD blueMask,
                         int bits);

    // --- output to Windows (PictureDraw.cpp) -----------------------------------
    // For the thread that draws (the skinned controls): the device contexts
    // and GDI objects made here link into the framework's object lists, which
    // belong to the user-interface thread. Nothing else in this class uses GDI.
    // A new bitmap the caller owns; null without pixels. The alpha plane is
    // not part of it.
    HBITMAP MakeBitmap(HDC dc = nullptr) const;
    // Draws into [x, x + cx) × [y, y + cy) (negative sizes: the image's own),
    // blending with alpha and skipping transparent pixels, limited to clip
    // when given. The device's clip region is as before afterwards.
    bool Draw(HDC dc, int x, int y, int cx = -1, int cy = -1, const RECT* clip = nullptr,
              bool smooth = false);
    bool DrawTiled(HDC dc, const RECT* rect);

    // --- resampling (PictureResample.cpp) --------------------------------------
    // Resizes into destination (this image unchanged) or, without one, in
    // place. Shrinking averages whole source areas unless noAveraging.
    bool Resample(int newWidth, int newHeight, int method = INTERPOLATE_BICUBIC,
                  int overflow = OVERFLOW_REPEAT, CPicture* destination = nullptr,
                  bool noAveraging = false);
    RGBQUAD InterpolatePixel(float x, float y, int method, int overflow,
                             const RGBQUAD* replacement = nullptr) const;
    RGBQUAD InterpolateArea(float x, float y, float areaWidth, float areaHeight, int method,
                            int overflow, const RGBQUAD* replacement = nullptr) const;
    RGBQUAD GetPixelColorOverflow(int x, int y, int overflow,
                                  const RGBQUAD* replacement = nullptr) const;
    void OverflowCoordinates(int& x, int& y, int overflow) const;
    void OverflowCoordinates(float& x, float& y, int overflow) const;

    // --- loading (PictureDecode.cpp) -------------------------------------------
    // Opens the file and decodes it as type (1..6), retrying with detection when
    // that fails, or with detection alone for type 0. A file that cannot be
    // opened returns false with everything untouched.
    bool Load(const char* path, DWORD type = PICTURE_DETECT);
    // Decodes from the file's current position. Only a successful decoder's
    // picture replaces this image's contents.
    bool Decode(ImageFile& file, DWORD type = PICTURE_DETECT);

protected:
    // The settings and state that travel as one unit (CopyInfo, Copy,
    // Transfer). Plain data: copied by assignment.
    struct Info
    {
        DWORD rowBytes;
        BYTE* pixels;     // first pixel row inside the block
        CPicture* owner;  // set: this object only views another's storage
        CPicture* parent; // a layer's back pointer
        DWORD type;
        char lastError[256];
        int progress;
        int escape;
        int transparentIndex;
        RGBQUAD transparentColor;
        BYTE jpegQuality;
        BYTE jpegScale;
        int frame;
        int frameCount;
        DWORD frameDelay;
        int xDpi;
        int yDpi;
        RECT selectionBox;
        BYTE alphaMax;
        bool alphaPaletteEnabled;
        bool enabled;
        int xOffset;
        int yOffset;
        DWORD codecOptions[PICTURE_TYPE_COUNT];
        RGBQUAD lastColor;
        BYTE lastColorIndex;
        bool lastColorValid;
        int layerCount;
        DWORD flags;
    };

    // Copies text into lastError (at most 255 characters).
    void SetError(const char* text);
    void ClearInfo(DWORD type);
    // width × height bytes of a plane, or 0 without pixels.
    size_t PlaneSize() const;
    // The first byte of row y (bottom-up) of the alpha plane.
    BYTE* AlphaRow(int y) const;

    BYTE* m_block = nullptr; // header, palette, pixel rows (malloc/free)
    BITMAPINFOHEADER m_header;
    Info m_info;
    BYTE* m_selection = nullptr; // width × height bytes, non-zero = selected
    BYTE* m_alpha = nullptr;     // width × height bytes, 0 transparent … 255 opaque
    CPicture** m_layers = nullptr;

private:
    // Runs one decoder (a class derived from CPicture with a
    // bool Decode(ImageFile&)) on the file: it gets this image's settings,
    // and only on success its picture replaces this image's contents.
    using DecoderEntry = bool (CPicture::*)(ImageFile& file);
    template <class Decoder> bool DecodeWith(ImageFile& file);
    // The decoder of a type number, or null when that format has none.
    static DecoderEntry FindDecoder(DWORD type);

    friend class ImageIterator;
};

static_assert(sizeof(BITMAPINFOHEADER) == 40, "the header is the 40-byte bitmap header");
static_assert(sizeof(RGBQUAD) == 4, "palette entries are 4 bytes");

// Walks the rows of a picture for decoders. Built on the first pixel row
// (y = 0, the bottom); Upset moves it to the last stored row (the top), so a
// decoder that reads the file's top row first fills a row and steps down.
class ImageIterator
{
public:
    explicit ImageIterator(CPicture* picture);
    void Upset();
    // The current row, or null when the picture has none there.
    BYTE* GetRow() const;
    int GetY() const { return m_y; }
    // One row down; false when that leaves the picture.
    bool PrevRow();
    // Copies at most the row's bytes into the current row.
    void SetRow(const BYTE* data, size_t length);

private:
    CPicture* m_picture;
    int m_y = 0;
};

#endif
