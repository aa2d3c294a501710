// RC4 as the stored files use it. The whole cipher state is built anew on
// every call, so each 16,384-byte block of a stored file is encrypted with
// the keystream from its first byte: equal blocks encrypt to equal bytes.
#ifndef BRINDLEWOX_ENGINE_RC4_H
#define BRINDLEWOX_ENGINE_RC4_H

#include "foundation/Base.h"

// The size of the blocks (plain files) and chunks (bzip2 streams) that are
// each encrypted with a fresh keystream.
constexpr DWORD kStoredBlockSize = 16384;

// Encrypts or decrypts `length` bytes in place: the key schedule runs over the
// key bytes repeated to fill 256 bytes (the same as keying with the bytes
// themselves), then every byte is XORed with the next keystream byte.
// A key length of 0 leaves the buffer unchanged: no caller encrypts with an
// empty password, and a silent default key would make files no one can read.
void Rc4Crypt(void* buffer, size_t length, const void* key, size_t keyLength);

#endif
