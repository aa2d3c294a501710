// CBase64: Base64 text from bytes and back, with the standard alphabet and
// "=" filling the last group. No line breaks are ever written; white space
// in a text to decode is skipped.
//
// The object keeps both sides in its own buffers: after Encode the encoded
// buffer holds the NUL-terminated text and the decoded buffer a copy of the
// input; after Decode it is the other way round. Buffers grow in whole
// blocks of 4,096 bytes and are zero-filled whenever they are reused.
#ifndef BRINDLEWOX_FOUNDATION_BASE64_H
#define BRINDLEWOX_FOUNDATION_BASE64_H

#include "foundation/Base.h"

class CBase64
{
public:
    CBase64() = default;
    CBase64(const CBase64&) = delete;
    CBase64& operator=(const CBase64&) = delete;
    virtual ~CBase64();

    // Encodes the bytes of a NUL-terminated text; null encodes nothing.
    virtual void EncodeString(const char* text);
    // Encoding nothing gives the empty text (never a null buffer).
    virtual void Encode(const unsigned char* bytes, uint32_t length);
    // Decodes a NUL-terminated text; null decodes nothing.
    virtual void DecodeString(const char* text);
    // The decoded length counts data bytes only: "Zg==" gives one byte, and
    // an unpadded last group of 2 or 3 characters gives 1 or 2 bytes.
    virtual void Decode(const char* text, uint32_t length);
    // The decoded bytes; a zero byte follows them.
    virtual const unsigned char* GetDecoded();
    // The encoded text, NUL-terminated.
    virtual const char* GetEncoded();

    uint32_t GetDecodedLength() const { return m_decodedLength; }
    uint32_t GetEncodedLength() const { return m_encodedLength; }
    uint32_t GetDecodedCapacity() const { return m_decodedCapacity; }
    uint32_t GetEncodedCapacity() const { return m_encodedCapacity; }

protected:
    // Three bytes to encode, of which count (1 to 3) are real.
    struct EncodingGroup
    {
        unsigned char bytes[3];
        int count;
    };
    // Four six-bit values to decode, of which count (1 to 4) are real.
    struct DecodingGroup
    {
        unsigned char values[4];
        int count;
    };

    // Make room for size bytes plus a terminator: a buffer too small (or
    // none yet) is replaced by the next multiple of 4,096 strictly above the
    // size. The whole buffer is zero-filled and its used length set to 0.
    // A size whose block would not fit 32 bits raises CMemoryException.
    virtual void AllocEncoded(uint32_t size);
    virtual void AllocDecoded(uint32_t size);
    // Copies the text into the encoded buffer, leaving out white space.
    virtual void SetEncoded(const char* text, uint32_t length);
    virtual void SetDecoded(const unsigned char* bytes, uint32_t length);
    // Four characters for a group; the positions past its real bytes are "=".
    virtual void EncodeGroup(const EncodingGroup& group, char* out);
    // Three bytes for a group; returns how many of them are data.
    virtual int DecodeGroup(const DecodingGroup& group, unsigned char* out);
    virtual void SplitGroup(const unsigned char* bytes, unsigned char* values);
    virtual void JoinGroup(const unsigned char* values, unsigned char* bytes);
    virtual bool IsWhiteSpace(unsigned char byte);

private:
    unsigned char* m_decoded = nullptr;
    char* m_encoded = nullptr;
    uint32_t m_decodedCapacity = 0;
    uint32_t m_encodedCapacity = 0;
    uint32_t m_decodedLength = 0;
    uint32_t m_encodedLength = 0;
};

#endif
