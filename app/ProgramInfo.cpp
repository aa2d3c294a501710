#include "app/ProgramInfo.h"

#include <cstring>
#include <vector>

namespace
{

// A file's whole version-information block, read once. Empty when the file
// has none or cannot be read.
class CVersionBlock
{
public:
    explicit CVersionBlock(const char* path)
    {
        if (path == nullptr || *path == '\0')
            return;
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
        if (size == 0)
            return;
        m_data.assign(size, 0);
        if (!GetFileVersionInfoA(path, 0, size, m_data.data()))
            m_data.clear();
    }

    bool IsEmpty() const { return m_data.empty(); }

    // VerQueryValueA on the block: the item's address and length, or false.
    // The address points into this object's block and dies with it.
    bool Query(const char* subBlock, void** item, UINT* length)
    {
        if (m_data.empty())
            return false;
        *item = nullptr;
        *length = 0;
        return VerQueryValueA(m_data.data(), subBlock, item, length) && *item != nullptr;
    }

    // Whether [item, item + bytes) lies inside the block: a damaged resource
    // must not send a reader outside it.
    bool Holds(const void* item, size_t bytes) const
    {
        const BYTE* begin = m_data.data();
        const BYTE* p = static_cast<const BYTE*>(item);
        return p >= begin && bytes <= m_data.size() &&
               p - begin <= ptrdiff_t(m_data.size() - bytes);
    }

    size_t BytesFrom(const void* item) const
    {
        return m_data.size() - size_t(static_cast<const BYTE*>(item) - m_data.data());
    }

private:
    std::vector<BYTE> m_data;
};

} // namespace

CString FormatFileVersion(DWORD versionMS, DWORD versionLS)
{
    CString text;
    if (versionLS != 0)
        text.Format("%d.%d.%d.%d", int(HIWORD(versionMS)), int(LOWORD(versionMS)),
                    int(HIWORD(versionLS)), int(LOWORD(versionLS)));
    else if (versionMS != 0)
        text.Format("%d.%d", int(HIWORD(versionMS)), int(LOWORD(versionMS)));
    return text;
}

CString GetFileVersionString(const char* modulePath)
{
    CVersionBlock block(modulePath);
    void* item = nullptr;
    UINT length = 0;
    if (!block.Query("\\", &item, &length) || length < sizeof(VS_FIXEDFILEINFO) ||
        !block.Holds(item, sizeof(VS_FIXEDFILEINFO)))
        return CString();
    const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(item);
    return FormatFileVersion(info->dwFileVersionMS, info->dwFileVersionLS);
}

CString GetFileDescription(const char* path)
{
    CVersionBlock block(path);
    void* item = nullptr;
    UINT length = 0;
    // Without a translation table there is no language to look the string
    // up in: the result is empty rather than a read through a failed query.
    if (!block.Query("\\VarFileInfo\\Translation", &item, &length) || length < 4 ||
        !block.Holds(item, 4))
        return CString();
    const WORD* pair = static_cast<const WORD*>(item);
    CString subBlock;
    subBlock.Format("\\StringFileInfo\\%04x%04x\\%s", pair[0], pair[1], "FileDescription");
    if (!block.Query(subBlock, &item, &length) || !block.Holds(item, 1))
        return CString();
    // The text is copied out while the block lives; a string that runs to
    // the block's end without a terminator is cut there.
    const char* text = static_cast<const char*>(item);
    return CString(text, int(strnlen(text, block.BytesFrom(item))));
}
