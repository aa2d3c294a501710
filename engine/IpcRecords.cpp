#include "engine/IpcRecords.h"

#include "foundation/String.h"

namespace
{
CString& NameSlot(IpcPipe pipe)
{
    static CString names[] = {kSettingsPipeName, kBackupPipeName, kUserPipeName};
    return names[static_cast<int>(pipe)];
}
} // namespace

const char* GetIpcPipeName(IpcPipe pipe)
{
    return NameSlot(pipe);
}

void SetIpcPipeName(IpcPipe pipe, const char* name)
{
    NameSlot(pipe) = name;
}
