// The EXIF reader of the JPEG decoder: walks a JPEG file's marker sections up
// to the start of the scan and reads the camera's EXIF block and the first
// comment. Only the resolution fields are used by decoding; the rest are kept
// for whoever wants them.
//
// The file is untrusted: every offset and count is checked against the block
// in 64-bit arithmetic, text fields are cut to their size and nested
// directories are followed at most kMaxDepth levels deep.
#ifndef BRINDLEWOX_PICTURE_EXIFREADER_H
#define BRINDLEWOX_PICTURE_EXIFREADER_H

#include "foundation/Base.h"

#include <cstddef>

class ImageFile;

struct ExifInfo
{
    char cameraMake[32];
    char cameraModel[40];
    char dateTime[20];
    char version[5];
    char comments[200];
    int orientation;
    int height;
    int width;
    bool isColor;
    int process;
    bool flashUsed;
    float focalLength;
    float exposureTime;
    float apertureFNumber;
    float distance;
    float ccdWidth;
    float exposureBias;
    int whiteBalance;
    int meteringMode;
    int exposureProgram;
    int isoEquivalent;
    int compressionLevel;
    float focalPlaneXRes;
    float focalPlaneYRes;
    float focalPlaneUnits; // millimetres per unit
    float xResolution;
    float yResolution;
    float resolutionUnit; // factor turning the resolution into dots per inch
    float brightness;
    float shutterSpeed;
    int lightSource;
    int exifImageWidth;
    int exifImageHeight;
    unsigned long thumbnailOffset;
    unsigned long thumbnailSize;
    bool isExif;
};

class ExifReader
{
public:
    static constexpr int kMaxSections = 20;
    static constexpr int kMaxDepth = 4;
    // Section type of the rest of the file after the start of the scan.
    static constexpr int kImageDataSection = 291;

    // Without a result block the reader keeps a zeroed one of its own.
    explicit ExifReader(ExifInfo* info = nullptr);
    ExifReader(const ExifReader&) = delete;
    ExifReader& operator=(const ExifReader&) = delete;
    ~ExifReader();

    // Mode bit 0: read the EXIF block and the comment; bit 1: also keep the
    // compressed image data as a last section. False with a text in
    // GetError; the sections read so far stay until the reader is destroyed.
    bool DecodeExif(ImageFile& file, int mode = 1);
    const char* GetError() const { return m_error; }
    const ExifInfo& GetInfo() const { return *m_info; }
    int GetSectionCount() const { return m_sectionCount; }

    // Reads the EXIF block of an APP1 section (its data after the length).
    bool ProcessExif(const BYTE* data, size_t length);

private:
    struct Section
    {
        BYTE* data;
        int type;
        size_t size;
    };

    bool Fail(const char* text);
    void FreeSections();
    bool ProcessDirectory(const BYTE* directory, const BYTE* base, size_t length, int depth);
    void ProcessComment(const BYTE* data, size_t length);
    int Get16(const BYTE* p) const;
    unsigned long Get32(const BYTE* p) const;
    double ConvertValue(const BYTE* p, int format) const;

    ExifInfo* m_info;
    ExifInfo* m_ownInfo = nullptr;
    Section m_sections[kMaxSections + 1];
    int m_sectionCount = 0;
    bool m_motorola = false; // big-endian block
    int m_exifImageWidth = 0;
    char m_error[256];
};

#endif
