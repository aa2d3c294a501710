#include "app/EmptyFileTree.h"

#include <shellapi.h>

CString EmptyFolderNotice(const CString& path)
{
    SHFILEINFOA info = {};
    CString name;
    if (SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_DISPLAYNAME) != 0 &&
        info.szDisplayName[0] != 0)
        name = info.szDisplayName;
    else
        name = path;
    return name + " is empty.";
}

void EmptyFileTree::ReportEmptyFolder(CString path)
{
    MessageBoxA(GetSafeHwnd(), EmptyFolderNotice(path), "Information", MB_ICONEXCLAMATION);
}
