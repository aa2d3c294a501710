// The main program's per-user settings and the current user's SID.
//
// The settings are values of one key under HKEY_CURRENT_USER,
// "Software\Orvanel\Brindlewox": texts as REG_SZ, numbers as REG_DWORD. The
// key is created by the first write.
//
// Every function here returns TRUE on success and FALSE on any failure; none
// throws, logs or shows anything, and a failed read leaves its output
// untouched. Defaults belong to the callers: a reader pre-sets its variable
// and keeps it when the read fails.
#ifndef BRINDLEWOX_ENGINE_SETTINGS_H
#define BRINDLEWOX_ENGINE_SETTINGS_H

#include "foundation/Base.h"
#include "foundation/HttpFormPost.h"
#include "foundation/String.h"

// The settings key, under HKEY_CURRENT_USER.
constexpr const char* kSettingsKeyPath = "Software\\Orvanel\\Brindlewox";

// The value names of the settings key, spelled as stored ("Shedule", not
// Schedule).
namespace setting
{
// Texts.
constexpr const char* WhatRestorePath = "WhatRestorePath";
constexpr const char* WhereRestorePath = "WhereRestorePath";
constexpr const char* LastBackupDir = "LastBackupDir";
constexpr const char* StatusLastPerformedBackupTime = "StatusLastPerformedBackupTime";
constexpr const char* ProxyHost = "ProxyHost";
constexpr const char* ProxyLogin = "ProxyLogin";
constexpr const char* ProxyPassword = "ProxyPassword";
// Numbers.
constexpr const char* ProxyPort = "ProxyPort";
constexpr const char* ProxyType = "ProxyType";
constexpr const char* CheckCompress = "CheckCompress";
constexpr const char* CheckCrypted = "CheckCrypted";
constexpr const char* SheduleEnable = "SheduleEnable";
constexpr const char* SheduleHour = "SheduleHour";
// One value per day of the week as Windows counts them (0 = Sunday): the
// prefix followed by the decimal day number.
constexpr const char* SheduleDayPrefix = "SheduleDay";
constexpr const char* SheduleDay[7] = {"SheduleDay0", "SheduleDay1", "SheduleDay2", "SheduleDay3",
                                       "SheduleDay4", "SheduleDay5", "SheduleDay6"};
constexpr const char* StartOnStartup = "StartOnStartup";
constexpr const char* FirstRun = "FirstRun";
constexpr const char* LastRunYear = "LastRunYear";
constexpr const char* LastRunMonth = "LastRunMonth";
constexpr const char* LastRunDay = "LastRunDay";
constexpr const char* LastRunHour = "LastRunHour";
constexpr const char* StatusFilesInBackup = "StatusFilesInBackup";
constexpr const char* StatusTotalErrors = "StatusTotalErrors";
// Written by no program of the system; read by the backup run.
constexpr const char* PriorityLevel = "PriorityLevel";

// The defaults the readers keep when a number is absent.
constexpr DWORD DefaultPriorityLevel = 9;
constexpr DWORD DefaultProxyPort = 8080;
constexpr DWORD DefaultProxyType = 0;

// Other keys reached through the given-path functions.
// Under HKEY_CURRENT_USER: the program's start-up entry.
constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* RunValueName = "ORVANELBrindlewox";
// Under HKEY_LOCAL_MACHINE: the cookie folder, value CachePath of either key.
constexpr const char* CookieSpecialPathKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache\\Special "
    "Paths\\Cookies\\";
constexpr const char* CookieCacheKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache\\Cookies\\";
constexpr const char* CachePathValue = "CachePath";
} // namespace setting

// The longest text, terminator included, that the settings-key and
// HKEY_CURRENT_USER readers read; a longer value fails to read.
constexpr DWORD kSettingTextLimit = 260;

// Writes a text (REG_SZ, with its terminator) into the settings key, created
// when missing.
BOOL WriteSettingString(const CString& name, const CString& data);
// Writes a number (REG_DWORD) into the settings key, created when missing.
BOOL WriteSettingDword(const CString& name, DWORD number);
// Writes a text into any key under HKEY_CURRENT_USER, created when missing.
BOOL WriteRegistryString(const CString& name, const CString& data, const CString& keyPath);

// Reads a text of at most 260 bytes (terminator included) from the settings
// key. A missing key or value, or a longer value, gives FALSE.
BOOL ReadSettingString(const CString& name, CString& output);
// The same for any key under HKEY_CURRENT_USER.
BOOL ReadRegistryString(const CString& name, CString& output, const CString& keyPath);
// Reads a 4-byte value of the settings key as a number; its type is not
// compared.
BOOL ReadSettingDword(const CString& name, DWORD& output);
// Reads a text of any length from a key under HKEY_LOCAL_MACHINE (read
// access only). An empty (0-byte) value gives FALSE.
BOOL ReadMachineRegistryString(const CString& name, CString& output, const CString& keyPath);

// The proxy values of the settings key, as HttpFormPost::Connect reads them.
class CUserProxySettings : public IProxySettings
{
public:
    BOOL ReadString(const CString& name, CString& value) const override;
    BOOL ReadDword(const CString& name, DWORD& value) const override;
};

// A heap copy of the SID of the user the process runs as, taken from the
// process token (free it with LocalFree), or null.
PSID GetCurrentUserSid();
// Writes the SID's text ("S-1-5-21-...") into the buffer: returns its length,
// or -1 when the SID is not valid or the text and its terminator do not fit
// (the buffer's contents are then unspecified).
int FormatSidText(PSID sid, char* buffer, int size);
// The current user's SID text as FormatSidText writes it. FALSE, and the
// output untouched, when there is none.
BOOL GetCurrentUserSidText(CString& text);

#endif
