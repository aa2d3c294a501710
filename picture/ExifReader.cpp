#include "picture/ExifReader.h"

#include "picture/ImageFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
// Bytes of one value of each directory format (1 … 12).
const int kFormatBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

enum ExifFormat
{
    FORMAT_BYTE = 1,
    FORMAT_STRING = 2,
    FORMAT_USHORT = 3,
    FORMAT_ULONG = 4,
    FORMAT_URATIONAL = 5,
    FORMAT_SBYTE = 6,
    FORMAT_UNDEFINED = 7,
    FORMAT_SSHORT = 8,
    FORMAT_SLONG = 9,
    FORMAT_SRATIONAL = 10,
    FORMAT_SINGLE = 11,
    FORMAT_DOUBLE = 12
};

enum ExifTag
{
    TAG_MAKE = 271,
    TAG_MODEL = 272,
    TAG_ORIENTATION = 274,
    TAG_X_RESOLUTION = 282,
    TAG_Y_RESOLUTION = 283,
    TAG_RESOLUTION_UNIT = 296,
    TAG_THUMBNAIL_OFFSET = 513,
    TAG_THUMBNAIL_LENGTH = 514,
    TAG_EXPOSURETIME = 33434,
    TAG_FNUMBER = 33437,
    TAG_EXIF_OFFSET = 34665,
    TAG_ISO_EQUIVALENT = 34855,
    TAG_EXIF_VERSION = 36864,
    TAG_DATETIME_ORIGINAL = 36867,
    TAG_SHUTTERSPEED = 37377,
    TAG_APERTURE = 37378,
    TAG_BRIGHTNESS = 37379,
    TAG_EXPOSURE_BIAS = 37380,
    TAG_MAXAPERTURE = 37381,
    TAG_SUBJECT_DISTANCE = 37382,
    TAG_METERING_MODE = 37383,
    TAG_LIGHT_SOURCE = 37384,
    TAG_FLASH = 37385,
    TAG_FOCALLENGTH = 37386,
    TAG_USERCOMMENT = 37510,
    TAG_EXIF_IMAGEWIDTH = 40962,
    TAG_EXIF_IMAGELENGTH = 40963,
    TAG_INTEROP_OFFSET = 40965,
    TAG_FOCALPLANEXRES = 41486,
    TAG_FOCALPLANEYRES = 41487,
    TAG_FOCALPLANEUNITS = 41488
};

// Copies at most size − 1 characters of a field that need not be terminated.
void CopyText(char* target, size_t size, const BYTE* source, size_t length)
{
    size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(target, source, n);
    target[n] = 0;
}

bool IsStartOfFrame(int marker)
{
    return (marker >= 0xC0 && marker <= 0xC3) || (marker >= 0xC5 && marker <= 0xC7) ||
           (marker >= 0xC9 && marker <= 0xCB) || (marker >= 0xCD && marker <= 0xCF);
}
} // namespace

ExifReader::ExifReader(ExifInfo* info) : m_info(info)
{
    if (m_info == nullptr)
    {
        m_ownInfo = static_cast<ExifInfo*>(std::calloc(1, sizeof(ExifInfo)));
        m_info = m_ownInfo;
    }
    std::memset(m_sections, 0, sizeof(m_sections));
    m_error[0] = 0;
}

ExifReader::~ExifReader()
{
    FreeSections();
    std::free(m_ownInfo);
}

void ExifReader::FreeSections()
{
    for (int i = 0; i < m_sectionCount; ++i)
        std::free(m_sections[i].data);
    std::memset(m_sections, 0, sizeof(m_sections));
    m_sectionCount = 0;
}

bool ExifReader::Fail(const char* text)
{
    std::strncpy(m_error, text, sizeof(m_error) - 1);
    m_error[sizeof(m_error) - 1] = 0;
    return false;
}

int ExifReader::Get16(const BYTE* p) const
{
    return m_motorola ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0];
}

unsigned long ExifReader::Get32(const BYTE* p) const
{
    if (m_motorola)
        return (static_cast<unsigned long>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    return (static_cast<unsigned long>(p[3]) << 24) | (p[2] << 16) | (p[1] << 8) | p[0];
}

double ExifReader::ConvertValue(const BYTE* p, int format) const
{
    switch (format)
    {
    case FORMAT_SBYTE:
        return static_cast<signed char>(p[0]);
    case FORMAT_BYTE:
        return p[0];
    case FORMAT_USHORT:
        return static_cast<uint16_t>(Get16(p));
    case FORMAT_ULONG:
        return static_cast<uint32_t>(Get32(p));
    case FORMAT_URATIONAL:
    case FORMAT_SRATIONAL:
    {
        const bool sign = format == FORMAT_SRATIONAL;
        const double num = sign ? static_cast<int32_t>(Get32(p)) : static_cast<uint32_t>(Get32(p));
        const double den =
            sign ? static_cast<int32_t>(Get32(p + 4)) : static_cast<uint32_t>(Get32(p + 4));
        return den == 0 ? 0 : num / den;
    }
    case FORMAT_SSHORT:
        return static_cast<int16_t>(Get16(p));
    case FORMAT_SLONG:
        return static_cast<int32_t>(Get32(p));
    case FORMAT_SINGLE:
    {
        uint32_t bits = static_cast<uint32_t>(Get32(p));
        float f;
        std::memcpy(&f, &bits, sizeof(f));
        return f;
    }
    case FORMAT_DOUBLE:
    {
        uint64_t bits = m_motorola ? (static_cast<uint64_t>(Get32(p)) << 32) | Get32(p + 4)
                                   : (static_cast<uint64_t>(Get32(p + 4)) << 32) | Get32(p);
        double d;
        std::memcpy(&d, &bits, sizeof(d));
        return d;
    }
    default:
        return 0;
    }
}

bool ExifReader::DecodeExif(ImageFile& file, int mode)
{
    FreeSections();
    m_error[0] = 0;
    if (file.GetC() != 0xFF || file.GetC() != 0xD8)
        return Fail("Not a JPEG file");
    bool commentSeen = false;
    while (m_sectionCount < kMaxSections)
    {
        long marker = 0;
        int padding = 0;
        for (;;)
        {
            marker = file.GetC();
            if (marker != 0xFF)
                break;
            if (++padding > 6)
                return Fail("too many padding bytes");
        }
        if (marker < 0)
            return Fail("Premature end of file?");
        const long high = file.GetC();
        const long low = file.GetC();
        if (high < 0 || low < 0)
            return Fail("Premature end of file?");
        const size_t length = static_cast<size_t>((high << 8) | low);
        if (length < 2)
            return Fail("invalid marker");
        BYTE* data = static_cast<BYTE*>(std::malloc(length));
        if (data == nullptr)
            return Fail("Could not allocate memory");
        data[0] = static_cast<BYTE>(high);
        data[1] = static_cast<BYTE>(low);
        if (file.Read(data + 2, 1, length - 2) != length - 2)
        {
            std::free(data);
            return Fail("Premature end of file?");
        }
        Section& section = m_sections[m_sectionCount++];
        section.data = data;
        section.type = static_cast<int>(marker);
        section.size = length;

        auto drop = [&]()
        {
            std::free(data);
            section.data = nullptr;
            --m_sectionCount;
        };
        if (IsStartOfFrame(static_cast<int>(marker)))
        {
            if (length >= 8)
            {
                m_info->height = (data[3] << 8) | data[4];
                m_info->width = (data[5] << 8) | data[6];
                m_info->isColor = data[7] == 3;
            }
            m_info->process = static_cast<int>(marker);
            continue;
        }
        switch (marker)
        {
        case 0xD9:
            return Fail("No image in jpeg!");
        case 0xDA:
            if (mode & 2)
            {
                const long here = file.Tell();
                const long size = file.Size();
                const size_t rest = size > here ? static_cast<size_t>(size - here) : 0;
                BYTE* image = static_cast<BYTE*>(std::malloc(rest + 1));
                if (image == nullptr)
                    return Fail("could not allocate data for entire image");
                if (file.Read(image, 1, rest) != rest)
                {
                    std::free(image);
                    return Fail("could not read the rest of the image");
                }
                Section& last = m_sections[m_sectionCount++];
                last.data = image;
                last.type = kImageDataSection;
                last.size = rest;
            }
            return true;
        case 0xE0:
            drop();
            break;
        case 0xE1:
            if ((mode & 1) && length >= 6 && std::memcmp(data + 2, "Exif", 4) == 0)
                m_info->isExif = ProcessExif(data + 2, length - 2);
            else
                drop();
            break;
        case 0xFE:
            if ((mode & 1) && !commentSeen)
            {
                commentSeen = true;
                ProcessComment(data, length);
            }
            else
            {
                drop();
            }
            break;
        default:
            break;
        }
    }
    return Fail("Too many sections in jpg file");
}

void ExifReader::ProcessComment(const BYTE* data, size_t length)
{
    // At most 1,000 bytes after the length, cut to the field.
    size_t n = length - 2;
    if (n > 1000)
        n = 1000;
    const size_t limit = sizeof(m_info->comments) - 1;
    size_t out = 0;
    for (size_t i = 0; i < n && out < limit; ++i)
    {
        const BYTE c = data[2 + i];
        if (c == '\r' && i + 1 < n && data[3 + i] == '\n')
            continue;
        if ((c >= 32 && c < 127) || c == '\n' || c == '\t' || c >= 160)
            m_info->comments[out++] = static_cast<char>(c);
        else
            m_info->comments[out++] = '?';
    }
    m_info->comments[out] = 0;
}

bool ExifReader::ProcessExif(const BYTE* data, size_t length)
{
    m_info->focalPlaneXRes = 0;
    m_info->focalPlaneUnits = 0;
    m_exifImageWidth = 0;
    if (length < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return Fail("Incorrect Exif header");
    if (std::memcmp(data + 6, "II", 2) == 0)
        m_motorola = false;
    else if (std::memcmp(data + 6, "MM", 2) == 0)
        m_motorola = true;
    else
        return Fail("Invalid Exif alignment marker.");
    if (Get16(data + 8) != 42)
        return Fail("Invalid Exif start (1)");

    // Offsets inside the block count from the start of the TIFF header.
    const BYTE* base = data + 6;
    const size_t tiffLength = length - 6;
    if (!ProcessDirectory(base + 8, base, tiffLength, 0))
        return false;
    const unsigned long first = Get32(data + 10);
    if (first > 8)
    {
        if (first >= tiffLength)
            return Fail("Illegal subdirectory link");
        if (!ProcessDirectory(base + first, base, tiffLength, 0))
            return false;
    }
    if (m_info->focalPlaneXRes != 0)
        m_info->ccdWidth =
            static_cast<float>(m_exifImageWidth * m_info->focalPlaneUnits / m_info->focalPlaneXRes);
    return true;
}

bool ExifReader::ProcessDirectory(const BYTE* directory, const BYTE* base, size_t length, int depth)
{
    // Directories that link to themselves or their parents must not recurse
    // for ever; real files nest two or three deep.
    if (depth > kMaxDepth)
        return true;
    const BYTE* end = base + length;
    if (directory < base || directory + 2 > end)
        return Fail("Illegally sized directory");
    const int entries = Get16(directory);
    if (static_cast<uint64_t>(directory - base) + 2 + 12ull * entries > length)
        return Fail("Illegally sized directory");

    for (int e = 0; e < entries; ++e)
    {
        const BYTE* entry = directory + 2 + 12 * e;
        const int tag = Get16(entry);
        const int format = Get16(entry + 2);
        const uint64_t components = static_cast<uint32_t>(Get32(entry + 4));
        if (format < 1 || format > 12)
            return Fail("Illegal format code in EXIF dir");
        const uint64_t byteCount = components * kFormatBytes[format];
        const BYTE* value;
        if (byteCount > 4)
        {
            const uint64_t offset = static_cast<uint32_t>(Get32(entry + 8));
            if (offset + byteCount > length)
                return Fail("Illegal pointer offset value in EXIF");
            value = base + offset;
        }
        else
        {
            value = entry + 8;
        }
        // A value with no components has nothing to convert.
        const size_t valueBytes = static_cast<size_t>(byteCount);
        const double number = components > 0 ? ConvertValue(value, format) : 0;

        switch (tag)
        {
        case TAG_MAKE:
            CopyText(m_info->cameraMake, sizeof(m_info->cameraMake), value, valueBytes);
            break;
        case TAG_MODEL:
            CopyText(m_info->cameraModel, sizeof(m_info->cameraModel), value, valueBytes);
            break;
        case TAG_ORIENTATION:
            m_info->orientation = static_cast<int>(number);
            if (m_info->orientation < 1 || m_info->orientation > 8)
            {
                Fail("Undefined rotation value");
                m_info->orientation = 0;
            }
            break;
        case TAG_X_RESOLUTION:
            m_info->xResolution = static_cast<float>(number);
            break;
        case TAG_Y_RESOLUTION:
            m_info->yResolution = static_cast<float>(number);
            break;
        case TAG_RESOLUTION_UNIT:
            switch (static_cast<int>(number))
            {
            case 1:
            case 2:
                m_info->resolutionUnit = 1.0f;
                break;
            case 3:
                m_info->resolutionUnit = 0.3937008f;
                break;
            case 4:
                m_info->resolutionUnit = 0.03937008f;
                break;
            case 5:
                m_info->resolutionUnit = 0.00003937008f;
                break;
            default:
                break;
            }
            break;
        case TAG_THUMBNAIL_OFFSET:
            m_info->thumbnailOffset = static_cast<unsigned long>(number);
            break;
        case TAG_THUMBNAIL_LENGTH:
            m_info->thumbnailSize = static_cast<unsigned long>(number);
            break;
        case TAG_EXPOSURETIME:
            m_info->exposureTime = static_cast<float>(number);
            break;
        case TAG_FNUMBER:
            m_info->apertureFNumber = static_cast<float>(number);
            break;
        case TAG_ISO_EQUIVALENT:
            m_info->isoEquivalent = static_cast<int>(number);
            break;
        case TAG_EXIF_VERSION:
            CopyText(m_info->version, sizeof(m_info->version), value, valueBytes);
            break;
        case TAG_DATETIME_ORIGINAL:
            CopyText(m_info->dateTime, sizeof(m_info->dateTime), value, valueBytes);
            break;
        case TAG_SHUTTERSPEED:
            m_info->shutterSpeed = static_cast<float>(number);
            break;
        case TAG_APERTURE:
        case TAG_MAXAPERTURE:
            if (m_info->apertureFNumber == 0)
                m_info->apertureFNumber = static_cast<float>(number);
            break;
        case TAG_BRIGHTNESS:
            m_info->brightness = static_cast<float>(number);
            break;
        case TAG_EXPOSURE_BIAS:
            m_info->exposureBias = static_cast<float>(number);
            break;
        case TAG_SUBJECT_DISTANCE:
            m_info->distance = static_cast<float>(number);
            break;
        case TAG_METERING_MODE:
            m_info->meteringMode = static_cast<int>(number);
            break;
        case TAG_LIGHT_SOURCE:
            m_info->lightSource = static_cast<int>(number);
            break;
        case TAG_FLASH:
            m_info->flashUsed = (static_cast<int>(number) & 7) != 0;
            break;
        case TAG_FOCALLENGTH:
            m_info->focalLength = static_cast<float>(number);
            break;
        case TAG_USERCOMMENT:
        {
            const BYTE* text = value;
            size_t n = valueBytes;
            // "ASCII" and its padding up to the 8-byte character-code field.
            if (n >= 8 && std::memcmp(text, "ASCII", 5) == 0)
            {
                text += 8;
                n -= 8;
            }
            while (n > 0 && (*text == ' ' || *text == 0))
            {
                ++text;
                --n;
            }
            CopyText(m_info->comments, sizeof(m_info->comments), text, n);
            break;
        }
        case TAG_EXIF_IMAGEWIDTH:
            m_exifImageWidth = static_cast<int>(number);
            m_info->exifImageWidth = m_exifImageWidth;
            break;
        case TAG_EXIF_IMAGELENGTH:
            m_info->exifImageHeight = static_cast<int>(number);
            break;
        case TAG_FOCALPLANEXRES:
            m_info->focalPlaneXRes = static_cast<float>(number);
            break;
        case TAG_FOCALPLANEYRES:
            m_info->focalPlaneYRes = static_cast<float>(number);
            break;
        case TAG_FOCALPLANEUNITS:
            switch (static_cast<int>(number))
            {
            case 1:
            case 2:
                m_info->focalPlaneUnits = 25.4f;
                break;
            case 3:
                m_info->focalPlaneUnits = 10.0f;
                break;
            case 4:
                m_info->focalPlaneUnits = 1.0f;
                break;
            case 5:
                m_info->focalPlaneUnits = 0.001f;
                break;
            default:
                break;
            }
            break;
        case TAG_EXIF_OFFSET:
        case TAG_INTEROP_OFFSET:
        {
            if (components == 0)
                break;
            const uint64_t offset = static_cast<uint32_t>(Get32(value));
            if (offset >= length)
                return Fail("Illegal subdirectory link");
            if (!ProcessDirectory(base + offset, base, length, depth + 1))
                return false;
            break;
        }
        default:
            break;
        }
    }
    return true;
}
