/* The native yardstick for the RC4 store: reads a file in 16,384-byte blocks,
   encrypts each block with a fresh RC4 keystream and writes it out.
   Usage: rc4blocks <key> <in> <out>. Built and run by scripts/bench. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

static void crypt_block(unsigned char* p, size_t n, const unsigned char* key, size_t klen)
{
    unsigned char s[256];
    unsigned i, j = 0, t;
    size_t k;
    for (i = 0; i < 256; i++)
        s[i] = (unsigned char)i;
    for (i = 0; i < 256; i++)
    {
        j = (j + s[i] + key[i % klen]) & 255;
        t = s[i];
        s[i] = s[j];
        s[j] = (unsigned char)t;
    }
    i = j = 0;
    for (k = 0; k < n; k++)
    {
        unsigned si, sj;
        i = (i + 1) & 255;
        si = s[i];
        j = (j + si) & 255;
        sj = s[j];
        s[i] = (unsigned char)sj;
        s[j] = (unsigned char)si;
        p[k] ^= s[(si + sj) & 255];
    }
}

int main(int argc, char** argv)
{
    static unsigned char block[16384];
    FILE *in, *out;
    size_t n;
    if (argc != 4)
        return 2;
    in = fopen(argv[2], "rb");
    out = fopen(argv[3], "wb");
    if (!in || !out)
        return 1;
    while ((n = fread(block, 1, sizeof(block), in)) > 0)
    {
        crypt_block(block, n, (const unsigned char*)argv[1], strlen(argv[1]));
        if (fwrite(block, 1, n, out) != n)
            return 1;
    }
    fclose(in);
    return fclose(out) == 0 ? 0 : 1;
}
