#include "app/UserFolders.h"

#include <shlobj.h>

namespace
{
CString g_overrideAppData;
CString g_overrideTemp;
bool g_overridden = false;

CString ReadShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE))
        path[0] = 0;
    return CString(path);
}
} // namespace

CString Lowered(const char* text)
{
    CString result(text != nullptr ? text : "");
    result.MakeLower();
    return result;
}

UserFolders DeriveUserFolders(const char* temp, const char* windows, const char* appData,
                              const char* programFiles, const char* commonPrograms)
{
    UserFolders folders;
    folders.temp = temp != nullptr ? temp : "";
    folders.windows = Lowered(windows);
    folders.appData = Lowered(appData);
    CString windowsText(windows != nullptr ? windows : "");
    const int backslash = windowsText.Find('\\');
    folders.systemDrive = Lowered(backslash >= 0 ? (const char*)windowsText.Left(backslash)
                                                 : (const char*)windowsText);
    if (programFiles != nullptr && programFiles[0] != 0)
        folders.programFiles = Lowered(programFiles);
    else
        folders.programFiles = Lowered(folders.systemDrive + "\\Program Files");
    if (commonPrograms != nullptr && commonPrograms[0] != 0)
        folders.commonPrograms = Lowered(commonPrograms);
    else
        folders.commonPrograms = Lowered(windowsText + "\\All Users\\Start Menu\\Programs");
    return folders;
}

UserFolders ReadUserFolders()
{
    char temp[MAX_PATH + 1] = "";
    if (GetTempPathA(MAX_PATH, temp) == 0)
        temp[0] = 0;
    char windows[MAX_PATH + 1] = "";
    if (GetWindowsDirectoryA(windows, MAX_PATH) == 0)
        windows[0] = 0;
    const CString appData = g_overridden ? g_overrideAppData : ReadShellFolder(CSIDL_APPDATA);
    return DeriveUserFolders(g_overridden ? (const char*)g_overrideTemp : temp, windows, appData,
                             ReadShellFolder(CSIDL_PROGRAM_FILES),
                             ReadShellFolder(CSIDL_COMMON_PROGRAMS));
}

void OverrideUserFolders(const char* appDataFolder, const char* tempFolder)
{
    g_overridden = appDataFolder != nullptr;
    g_overrideAppData = appDataFolder != nullptr ? appDataFolder : "";
    g_overrideTemp = tempFolder != nullptr ? tempFolder : "";
}

bool AreUserFoldersOverridden()
{
    return g_overridden;
}
