#include "tests/support/BmpFile.h"

#include <string>

// A 24-bit bottom-up BMP whose pixel (x, y) (y = 0 the bottom row) is
// colour(x, y).
bool WriteBmp(const char* path, int width, int height,
              const std::function<COLORREF(int, int)>& colour)
{
    int rowBytes = (width * 3 + 3) & ~3;
    std::string data(54 + rowBytes * height, '\0');
    auto put32 = [&](int at, DWORD value)
    {
        for (int i = 0; i < 4; ++i)
            data[at + i] = static_cast<char>(value >> (8 * i));
    };
    data[0] = 'B';
    data[1] = 'M';
    put32(2, data.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    data[26] = 1;
    data[28] = 24;
    put32(34, rowBytes * height);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            COLORREF c = colour(x, y);
            size_t at = 54 + y * rowBytes + x * 3;
            data[at] = static_cast<char>(GetBValue(c));
            data[at + 1] = static_cast<char>(GetGValue(c));
            data[at + 2] = static_cast<char>(GetRValue(c));
        }
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data.data(), data.size(), &written, nullptr);
    CloseHandle(file);
    return ok && written == data.size();
}
