#include "engine/FileStoreService.h"

#include "engine/FileStamp.h"
#include "engine/PipeClient.h"
#include "engine/StoredFile.h"

bool CPipeFileService::GetFileStamp(const char* path, CString& stamp)
{
    if (m_givenUp)
        return false;
    const int result = PipeGetFileStamp(path, stamp, m_stopEvent);
    m_givenUp = result == kPipeNoAnswer;
    return result == 1;
}

bool CPipeFileService::StoreFile(const char* source, const char* treeRoot, int compress,
                                 int encrypt, const char* password)
{
    if (m_givenUp)
        return false;
    const int result = PipeStoreFile(source, treeRoot, compress, encrypt, password, m_stopEvent);
    m_givenUp = result == kPipeNoAnswer;
    return result == kPipeDone;
}

bool CDirectFileService::GetFileStamp(const char* path, CString& stamp)
{
    return MakeFileStamp(path, stamp);
}

bool CDirectFileService::StoreFile(const char* source, const char* treeRoot, int compress,
                                   int encrypt, const char* password)
{
    // A source that has vanished is a failed store, as in the service, never
    // a folder of its name.
    CTransferSource opened;
    return opened.Open(source) && TransferFromSource(opened, StoredCopyPath(treeRoot, source),
                                                     compress, encrypt, password, kTransferStore);
}
