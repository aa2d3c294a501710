#include "app/RunEntries.h"

#include "app/ProgramInfo.h"
#include "engine/PipeClient.h"
#include "foundation/Registry.h"
#include "skin/ApplicationsTree.h"

#include <cstring>
#include <vector>

const char* const kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace
{
const char* const kMachineParkingKeyPath = "Software\\Orvanel\\Brindlewox\\Run-Disabled";
const char* const kUserParkingKeyPath = "Software\\Orvanel\\Brindlewox\\Run1-Disabled";

struct RunKey
{
    HKEY root;
    const char* path;
    REGSAM access;
    DWORD kind;
    DWORD scope;
};

// Read only, so opened for reading only: a user whose policy denies write
// access to his own Run key still sees what starts. HKLM in the 64-bit
// view, the one the service moves values in.
const RunKey kRunKeys[] = {
    {HKEY_LOCAL_MACHINE, kRunKeyPath, KEY_READ | KEY_WOW64_64KEY, kRunEntryActive, 1},
    {HKEY_CURRENT_USER, kRunKeyPath, KEY_READ, kRunEntryActive, 2},
    {HKEY_CURRENT_USER, kMachineParkingKeyPath, KEY_READ, kRunEntryParked, 1},
    {HKEY_CURRENT_USER, kUserParkingKeyPath, KEY_READ, kRunEntryParked, 2},
};

// The result of a call that fills a buffer of the size it first reports
// (GetLongPathNameA, ExpandEnvironmentStringsA); the text itself when it
// fails.
template <class Call> CString Transformed(const char* text, Call call)
{
    const DWORD needed = call(text, nullptr, 0);
    if (needed == 0)
        return CString(text);
    std::vector<char> buffer(size_t(needed) + 1, 0);
    const DWORD written = call(text, buffer.data(), needed + 1);
    if (written == 0 || written > needed + 1)
        return CString(text);
    return CString(buffer.data());
}

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

void ReadRunKey(const RunKey& place, CArray<RunEntry>& entries)
{
    CRegistryKey key;
    if (key.Open(place.root, place.path, place.access) != ERROR_SUCCESS)
        return;
    DWORD count = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0; index < count; ++index)
    {
        RunEntry entry;
        DWORD type = REG_NONE;
        if (key.EnumValue(index, entry.valueName, &type) != ERROR_SUCCESS)
            continue;
        CString data;
        if (ReadRegistryText(key, entry.valueName, data, &type) != ERROR_SUCCESS)
            continue;
        if (IsTextType(type))
        {
            if (type == REG_EXPAND_SZ)
                data = ExpandEnvironment(data);
            entry.path = LongPathOf(RunCommandPath(data));
        }
        entry.text = GetFileDescription(entry.path);
        if (entry.text.IsEmpty())
            entry.text = entry.valueName;
        entry.kind = place.kind;
        entry.scope = place.scope;
        entries.Add(entry);
    }
}
} // namespace

CString LongPathOf(const char* path)
{
    if (path == nullptr || *path == '\0')
        return CString(path);
    return Transformed(path, GetLongPathNameA);
}

CString ExpandEnvironment(const char* text)
{
    return Transformed(text, ExpandEnvironmentStringsA);
}

const char* RunParkingKeyPath(DWORD scope)
{
    if (scope == 1)
        return kMachineParkingKeyPath;
    if (scope == 2)
        return kUserParkingKeyPath;
    return nullptr;
}

CString RunCommandPath(const char* commandLine)
{
    CString path(commandLine);
    const int open = path.Find('"');
    if (open >= 0)
    {
        const int close = path.Find('"', open + 1);
        if (close > open)
            path = path.Mid(open + 1, close - open - 1);
    }
    CString lower(path);
    lower.MakeLower();
    const int exe = lower.Find(".exe");
    if (exe >= 0)
        path.Truncate(exe + 4);
    return path;
}

LONG ReadRegistryText(HKEY key, const char* name, CString& text, DWORD* type)
{
    // The value may grow between the size query and the read: ask again.
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        DWORD size = 0;
        DWORD valueType = REG_NONE;
        LONG result = RegQueryValueExA(key, name, nullptr, &valueType, nullptr, &size);
        if (result != ERROR_SUCCESS)
            return result;
        // Two zero bytes behind the data: a terminator whatever was stored.
        std::vector<char> data(size_t(size) + 2, 0);
        DWORD got = size;
        result = RegQueryValueExA(key, name, nullptr, &valueType,
                                  reinterpret_cast<BYTE*>(data.data()), &got);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            return result;
        if (got > size)
            got = size;
        text = CString(data.data(), int(strnlen(data.data(), got)));
        if (type != nullptr)
            *type = valueType;
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

void ReadRunEntries(CArray<RunEntry>& entries)
{
    for (const RunKey& place : kRunKeys)
        ReadRunKey(place, entries);
}

LONG DeleteParkedRunEntry(const char* valueName, DWORD scope)
{
    const char* path = RunParkingKeyPath(scope);
    if (path == nullptr)
        return ERROR_INVALID_PARAMETER;
    CRegistryKey key;
    const LONG result = key.Open(HKEY_CURRENT_USER, path, KEY_SET_VALUE);
    if (result != ERROR_SUCCESS)
        return result;
    return key.DeleteValue(valueName);
}

void AddRunEntryRows(CApplicationsTree& list, const CArray<RunEntry>& entries)
{
    for (int i = 0; i < entries.GetSize(); ++i)
    {
        const RunEntry& entry = entries[i];
        const int index = list.AddItem(entry.text, entry.path, entry.kind, 0, 0, 1, 0);
        if (index < 0)
            continue;
        list.SetItemData(index, entry.valueName);
        list.GetItem(index)->value2 = entry.scope;
    }
}

int SetCheckedRunEntriesEnabled(CApplicationsTree& list, bool enable)
{
    const DWORD wanted = enable ? kRunEntryActive : kRunEntryParked;
    int moved = 0;
    for (int i = 0; i < list.GetItemCount(); ++i)
    {
        CApplicationsTreeItem& row = *list.GetItem(i);
        if (!row.checked)
            continue;
        if (row.state == wanted)
        {
            row.checked = 0;
            continue;
        }
        if (PipeSetStartupEntryEnabled(row.thirdText, row.value2, enable ? TRUE : FALSE) != 1)
            continue;
        row.state = wanted;
        row.checked = 0;
        ++moved;
    }
    return moved;
}

int RemoveCheckedRunEntries(CApplicationsTree& list)
{
    int removed = 0;
    for (int i = 0; i < list.GetItemCount();)
    {
        const CApplicationsTreeItem& row = *list.GetItem(i);
        bool gone = false;
        if (row.checked)
        {
            if (row.state == kRunEntryParked)
            {
                const LONG result = DeleteParkedRunEntry(row.thirdText, row.value2);
                gone = result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
            }
            else
            {
                gone = PipeDeleteStartupEntry(row.thirdText, row.value2) == 1;
            }
        }
        if (gone)
        {
            list.DeleteItem(i);
            ++removed;
        }
        else
        {
            ++i;
        }
    }
    return removed;
}

void CheckAllRows(CApplicationsTree& list, bool checked)
{
    for (int i = 0; i < list.GetItemCount(); ++i)
        list.GetItem(i)->checked = checked ? 1 : 0;
}
