#include "engine/Rc4.h"

#include <cstdint>

void Rc4Crypt(void* buffer, size_t length, const void* key, size_t keyLength)
{
    if (length == 0 || keyLength == 0)
        return;

    const uint8_t* k = static_cast<const uint8_t*>(key);
    uint8_t s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<uint8_t>(i);

    // Key schedule. The key index wraps by hand: keyLength is rarely a power
    // of two and a division per step costs more than the swap.
    uint8_t j = 0;
    size_t ki = 0;
    for (int i = 0; i < 256; ++i)
    {
        j = static_cast<uint8_t>(j + s[i] + k[ki]);
        if (++ki == keyLength)
            ki = 0;
        const uint8_t t = s[i];
        s[i] = s[j];
        s[j] = t;
    }

    // Output generator.
    uint8_t* p = static_cast<uint8_t*>(buffer);
    uint8_t i = 0;
    j = 0;
    for (size_t n = 0; n < length; ++n)
    {
        i = static_cast<uint8_t>(i + 1);
        const uint8_t si = s[i];
        j = static_cast<uint8_t>(j + si);
        const uint8_t sj = s[j];
        s[i] = sj;
        s[j] = si;
        p[n] ^= s[static_cast<uint8_t>(si + sj)];
    }
}
