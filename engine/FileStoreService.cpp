#include "engine/FileStoreService.h"

#include "engine/FileStamp.h"
#include "engine/PipeClient.h"
#include "engine/StoredFile.h"

CPipeFileService::CPipeFileService(HANDLE stopEvent) : m_stopEvent(stopEvent)
{
    // Without the event a give-up still stops new requests; only those under
    // way on other threads then wait out their own limits.
    m_givenUpEvent.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

void CPipeFileService::Answered(int result)
{
    if (result != kPipeNoAnswer ||
        (m_stopEvent != nullptr && ::WaitForSingleObject(m_stopEvent, 0) == WAIT_OBJECT_0))
        return;
    m_givenUp.store(true);
    if (m_givenUpEvent.GetHandle() != nullptr)
        ::SetEvent(m_givenUpEvent.GetHandle());
}

bool CPipeFileService::GetFileStamp(const char* path, CString& stamp)
{
    if (m_givenUp.load())
        return false;
    const int result = PipeGetFileStamp(path, stamp, m_stopEvent, m_givenUpEvent.GetHandle());
    Answered(result);
    return result == 1;
}

bool CPipeFileService::StoreFile(const char* source, const char* treeRoot, int compress,
                                 int encrypt, const char* password)
{
    if (m_givenUp.load())
        return false;
    const int result = PipeStoreFile(source, treeRoot, compress, encrypt, password, m_stopEvent,
                                     m_givenUpEvent.GetHandle());
    Answered(result);
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
    return opened.Open(source, CTransferSource::SourceOpen::ForReading) &&
           TransferFromSource(opened, StoredCopyPath(treeRoot, source), compress, encrypt, password,
                              kTransferStore);
}
