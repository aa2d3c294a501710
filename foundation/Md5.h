// The MD5 message digest (RFC 1321) and its text of 32 lower-case
// hexadecimal digits.
#ifndef BRINDLEWOX_FOUNDATION_MD5_H
#define BRINDLEWOX_FOUNDATION_MD5_H

#include "foundation/Base.h"

struct MD5Context
{
    uint32_t state[4];
    // The message length in bits, low word first.
    uint32_t count[2];
    unsigned char buffer[64];
};

void MD5Init(MD5Context* context);
// Feeds bytes; may be called any number of times with pieces of any size.
void MD5Update(MD5Context* context, const unsigned char* input, uint32_t length);
// Pads, writes the 16-byte digest and wipes the context.
void MD5Final(unsigned char digest[16], MD5Context* context);
// One 64-byte block into the four state words.
void MD5Transform(uint32_t state[4], const unsigned char block[64]);

// A new heap text of 32 lower-case hexadecimal digits; free it with delete[].
char* MD5ToHex(const unsigned char digest[16]);
// The digest text of a NUL-terminated text (without its terminator); free
// it with delete[]. Null counts as the empty text.
char* MD5HexString(const char* text);

#endif
