// EmptyFileTree: the file and folder tree of the restore page and of the
// file and folder selection dialog, which tells the user when a folder to
// be opened holds nothing.
#ifndef BRINDLEWOX_APP_EMPTYFILETREE_H
#define BRINDLEWOX_APP_EMPTYFILETREE_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "skin/CustomFileDirTree.h"

// The notice's text: "<name> is empty." with the shell's display name of the
// path, or the path itself when the shell gives no name.
CString EmptyFolderNotice(const CString& path);

class EmptyFileTree : public CCustomFileDirTree
{
public:
    // A system message box owned by the tree: the notice, caption
    // "Information", MB_ICONEXCLAMATION.
    void ReportEmptyFolder(CString path) override;
};

#endif
