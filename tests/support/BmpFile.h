// Test pictures written as files: a 24-bit BMP of any colours (the picture
// loader finds the format from the bytes, whatever the file is called).
#ifndef BRINDLEWOX_TESTS_SUPPORT_BMPFILE_H
#define BRINDLEWOX_TESTS_SUPPORT_BMPFILE_H

#include "foundation/Base.h"

#include <functional>

// A 24-bit bottom-up BMP whose pixel (x, y) (y = 0 the bottom row) is
// colour(x, y).
bool WriteBmp(const char* path, int width, int height,
              const std::function<COLORREF(int, int)>& colour);

#endif
