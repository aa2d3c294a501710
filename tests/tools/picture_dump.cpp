// picture_dump <input folder> <output folder> [type] [frame]
//
// Loads every file of the input folder into a CPicture (with the given image
// type, 0 = detect, and frame or icon number, "last" = the file's last) and
// writes what it would show: <name>.pam, an 8-bit RGB_ALPHA PAM with the
// rows top first, and one line per file in results.txt:
//     <name> ok <type> <width> <height> <bits> <xdpi> <ydpi> <transIndex> <alphaPalette>
//        <alphaPlane> <frameCount>
//     <name> fail <lastError>
// Each line is written out before the next file is read, so a crash shows
// as the first file without a line.
// Shell tests compare the output with native reference decoders. Exit code 0
// when every file was handled (decoded or refused), 2 on bad arguments.
#include "picture/Picture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
// The colour and opacity of pixel (x, y) as drawing would treat it.
RGBQUAD Shown(const CPicture& picture, int x, int y)
{
    RGBQUAD c = picture.GetPixelColor(x, y, true);
    BYTE alpha = 255;
    if (picture.AlphaIsValid())
    {
        alpha = picture.AlphaGet(x, y);
    }
    else if (picture.IsIndexed())
    {
        const BYTE index = picture.GetPixelIndex(x, y);
        if (picture.IsAlphaPaletteEnabled())
            alpha = picture.GetPaletteColor(index).rgbReserved;
        if (picture.GetTransIndex() != -1 && index == picture.GetTransIndex())
            alpha = 0;
    }
    else if (picture.GetTransIndex() != -1)
    {
        RGBQUAD t = picture.GetTransColor();
        if (c.rgbBlue == t.rgbBlue && c.rgbGreen == t.rgbGreen && c.rgbRed == t.rgbRed)
            alpha = 0;
    }
    c.rgbReserved = alpha;
    return c;
}

bool WritePam(const CPicture& picture, const std::string& path)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    const int width = picture.GetWidth();
    const int height = picture.GetHeight();
    std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                 width, height);
    std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
    for (int y = height - 1; y >= 0; --y)
    {
        for (int x = 0; x < width; ++x)
        {
            const RGBQUAD c = Shown(picture, x, y);
            row[x * 4] = c.rgbRed;
            row[x * 4 + 1] = c.rgbGreen;
            row[x * 4 + 2] = c.rgbBlue;
            row[x * 4 + 3] = c.rgbReserved;
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    return std::fclose(out) == 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: picture_dump <input folder> <output folder> [type] [frame]\n");
        return 2;
    }
    const std::string input = argv[1];
    const std::string output = argv[2];
    const DWORD type = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : PICTURE_DETECT;
    const bool lastFrame = argc > 4 && std::strcmp(argv[4], "last") == 0;
    const int frame = argc > 4 && !lastFrame ? std::atoi(argv[4]) : 0;

    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((input + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
    {
        std::fprintf(stderr, "picture_dump: cannot list %s\n", input.c_str());
        return 2;
    }
    do
    {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(found.cFileName);
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);

    FILE* results = std::fopen((output + "\\results.txt").c_str(), "wb");
    if (results == nullptr)
    {
        std::fprintf(stderr, "picture_dump: cannot write into %s\n", output.c_str());
        return 2;
    }
    for (const std::string& name : names)
    {
        const std::string path = input + "\\" + name;
        CPicture picture;
        picture.SetFrame(frame);
        bool ok = picture.Load(path.c_str(), type);
        if (ok && lastFrame && picture.GetFrameCount() > 1)
        {
            picture.SetFrame(picture.GetFrameCount() - 1);
            ok = picture.Load(path.c_str(), type);
        }
        if (!ok)
        {
            std::fprintf(results, "%s fail %s\n", name.c_str(), picture.GetLastError());
            std::fflush(results);
            continue;
        }
        std::fprintf(results, "%s ok %lu %d %d %d %d %d %d %d %d %d\n", name.c_str(),
                     static_cast<unsigned long>(picture.GetType()), picture.GetWidth(),
                     picture.GetHeight(), picture.GetBpp(), picture.GetXDPI(), picture.GetYDPI(),
                     picture.GetTransIndex(), picture.IsAlphaPaletteEnabled() ? 1 : 0,
                     picture.AlphaIsValid() ? 1 : 0, picture.GetFrameCount());
        if (!WritePam(picture, output + "\\" + name + ".pam"))
            std::fprintf(results, "%s pam-write-failed\n", name.c_str());
        std::fflush(results);
    }
    std::fclose(results);
    return 0;
}
