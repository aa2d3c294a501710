#include "app/UninstallEntries.h"

#include "app/RunEntries.h"
#include "app/UserFolders.h"
#include "engine/BackupRun.h"
#include "foundation/Registry.h"
#include "foundation/Utility.h"
#include "skin/ApplicationsTree.h"

#include <shlobj.h>

const char* const kUninstallKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace
{
// The text with `prefix` removed from its front, when it starts so.
bool RemovePrefix(CString& text, const char* prefix)
{
    const int length = int(strlen(prefix));
    if (text.Left(length) != prefix)
        return false;
    text = text.Mid(length);
    return true;
}

CString CommonFilesFolder()
{
    char folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT,
                                folder)))
        return CString();
    return CString(folder);
}

bool FileExists(const CString& path)
{
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    SetErrorMode(previous);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

bool ReadUninstallEntry(HKEY root, REGSAM viewFlag, const CString& subkey,
                        const char* programFilesFolder, UninstallEntry& entry)
{
    CRegistryKey key;
    if (key.Open(root, CString(kUninstallKeyPath) + "\\" + subkey, KEY_READ | viewFlag) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    CString command;
    if (ReadRegistryText(key, "UninstallString", command, &type) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || command.IsEmpty())
        return false;
    bool checkFile = false;
    entry.path = CleanUninstallCommand(command, &checkFile);
    entry.kind = !checkFile || ResolveCommandLineExecutable(entry.path, programFilesFolder)
                     ? kUninstallerFound
                     : kUninstallerMissing;
    // A command stored to be expanded names its program through variables
    // (%ProgramFiles%...) that no process start expands by itself.
    entry.command = type == REG_EXPAND_SZ ? ExpandEnvironment(command) : command;
    entry.subkey = subkey;
    CString name;
    entry.text = subkey;
    if (ReadRegistryText(key, "DisplayName", name, &type) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        entry.text = name;
    return true;
}

bool Listed(const CArray<UninstallEntry>& entries, int from, int to, const CString& subkey)
{
    for (int i = from; i < to; ++i)
        if (entries[i].subkey.CompareNoCase(subkey) == 0)
            return true;
    return false;
}

// Adds the entries of one view, skipping the subkey names of
// entries[skipFrom, skipTo).
void ReadView(REGSAM viewFlag, int skipFrom, int skipTo, CArray<UninstallEntry>& entries,
              const char* programFilesFolder)
{
    CRegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKeyPath, KEY_READ | viewFlag) != ERROR_SUCCESS)
        return;
    DWORD count = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0; index < count; ++index)
    {
        CString subkey;
        if (key.EnumKey(index, subkey) != ERROR_SUCCESS ||
            Listed(entries, skipFrom, skipTo, subkey))
            continue;
        UninstallEntry entry;
        if (ReadUninstallEntry(HKEY_LOCAL_MACHINE, viewFlag, subkey, programFilesFolder, entry))
            entries.Add(entry);
    }
}
} // namespace

CString CleanUninstallCommand(const char* command, bool* checkFile)
{
    CString cleaned(command);
    if (cleaned[0] == '"')
    {
        cleaned.CopyBeforeWrite();
        cleaned[0] = ' ';
        const int quote = cleaned.Find('"');
        if (quote >= 0)
            cleaned.Truncate(quote);
    }
    cleaned.MakeLower();
    cleaned.Trim();
    int found = cleaned.Find(".exe");
    if (found < 0)
        found = cleaned.Find(".dll");
    if (found >= 0)
        cleaned.Truncate(found + 4);
    if (checkFile != nullptr)
        *checkFile = found >= 0 && cleaned.Find('\\') >= 0;
    return cleaned;
}

bool ResolveCommandLineExecutable(const char* commandLine, const char* programFilesFolder)
{
    CString line(commandLine);
    line.Trim();
    line.MakeLower();
    // Only a leading "@": one inside a path is part of a name.
    if (RemovePrefix(line, "@"))
        line.Trim();
    if (line.Left(8) == "rundll32")
    {
        StringReplace("", "rundll32.exe", line, FALSE);
        StringReplace("", "rundll32", line, FALSE);
        line.Trim();
    }
    StringReplace(Lowered(programFilesFolder), "%programw6432%", line, FALSE);
    line.MakeLower();
    // "%CommonProgramW6432%" is the Common Files folder; the system expands
    // it below where it is defined (64-bit Windows).
    char probe[2];
    if (GetEnvironmentVariableA("CommonProgramW6432", probe, sizeof(probe)) == 0 &&
        GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        StringReplace(Lowered(CommonFilesFolder()), "%commonprogramw6432%", line, FALSE);
    line.MakeLower();
    line = LongPathOf(line);
    line = ExpandEnvironment(line);
    return !line.IsEmpty() && FileExists(line);
}

void ReadUninstallEntries(CArray<UninstallEntry>& entries, const char* programFilesFolder)
{
    const int first = entries.GetSize();
    ReadView(KEY_WOW64_64KEY, 0, 0, entries, programFilesFolder);
    // The 32-bit view skips the names the 64-bit view gave; on a system
    // without the split both open the same key and every name is skipped.
    ReadView(KEY_WOW64_32KEY, first, entries.GetSize(), entries, programFilesFolder);
}

void AddUninstallRows(CApplicationsTree& list, const CArray<UninstallEntry>& entries)
{
    for (int i = 0; i < entries.GetSize(); ++i)
    {
        const UninstallEntry& entry = entries[i];
        const int index = list.AddItem(entry.text, entry.path, entry.kind, 0, 0, 1, 0);
        if (index >= 0)
            list.SetItemData(index, entry.command);
    }
}

int RunCheckedUninstallers(CApplicationsTree& list)
{
    // The commands first: the list is not touched while they run.
    CArray<CString> commands;
    for (int i = 0; i < list.GetItemCount(); ++i)
        if (list.GetItem(i)->checked)
            commands.Add(list.GetItem(i)->thirdText);
    int started = 0;
    for (int i = 0; i < commands.GetSize(); ++i)
    {
        HANDLE process = StartProcess(commands[i], SW_SHOWNORMAL);
        if (process == nullptr)
            continue;
        ++started;
        WaitRepainting(process);
        CloseHandle(process);
    }
    return started;
}

void WaitRepainting(HANDLE process)
{
    for (;;)
    {
        // QS_SENDMESSAGE: a broadcast an installer sends (WM_SETTINGCHANGE)
        // is answered at once instead of holding it up.
        const DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE,
                                                      QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1)
            return; // the process ended, or the wait failed
        // PeekMessageA serves the sent messages; only timers and paint are
        // removed. The timers go on: a scheduled hour inside a long
        // uninstaller is still met, and the options are still saved.
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
            DispatchMessageA(&message);
        while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
        {
            DispatchMessageA(&message);
            // A window that does not validate its update region would be
            // handed the same WM_PAINT for ever.
            if (message.hwnd != nullptr)
                ValidateRect(message.hwnd, nullptr);
        }
    }
}
