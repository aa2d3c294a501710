// The wire format between the main program and the service: the three pipe
// names and the two fixed records. Both programs are built from this one
// header, so a layout change shows on both sides at once; the static_asserts
// below pin every byte.
//
// Both records are plain little-endian byte images. A sender zero-fills its
// record before it sets any field; text fields are NUL-terminated ANSI
// strings of at most the field's length less one characters (IpcCopyText
// cuts longer ones); every byte not named here is reserved and stays zero.
#ifndef BRINDLEWOX_ENGINE_IPCRECORDS_H
#define BRINDLEWOX_ENGINE_IPCRECORDS_H

#include "foundation/Base.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// SETTINGS: served by the service, IpcSettingsRecord requests and replies.
constexpr const char* kSettingsPipeName = "\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_SETTINGS";
// BACKUP: served by the service, IpcQueueRecord requests and replies.
constexpr const char* kBackupPipeName = "\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_BACKUP";
// USER: served by the main program, IpcQueueRecord notices.
constexpr const char* kUserPipeName = "\\\\.\\pipe\\BRINDLEWOX_IPC_QUEUE_USER";

// The three pipes.
enum class IpcPipe
{
    Settings,
    Backup,
    User,
};

// The name clients and servers use for a pipe: the literal names above until
// SetIpcPipeName points one elsewhere. Tests do, so that they meet only their
// own servers and never a service running in the same session. Set names
// before any client or server runs: the table is not locked.
const char* GetIpcPipeName(IpcPipe pipe);
void SetIpcPipeName(IpcPipe pipe, const char* name);

// The service that serves SETTINGS and BACKUP, by the name the service
// control manager knows it: a client writes to those pipes only when their
// server end is that service's process.
constexpr const char kServiceName[] = "OVBrinwoxSrv";

// The first field of every reply: the server handled the request.
constexpr uint32_t IPC_STATUS_OK = 100;

// The first field of an IpcSettingsRecord request. 9, 10, 11 and 14 have no
// sender in the main program and are served all the same.
enum SettingsRequestType : uint32_t
{
    SETTINGS_PROXY = 1,          // proxy values machine-wide; no reply
    SETTINGS_COMPACT_HIVES = 2,  // save every hive, replace it at the next start; result 1 = done
    SETTINGS_SAVE_HIVES = 3,     // save every hive into the folder `key`; result 1 = all saved
    SETTINGS_RESTORE_HIVES = 4,  // replace every hive from the folder `key`; result 1 = scheduled
    SETTINGS_LANGUAGE = 5,       // the current language machine-wide; no reply
    SETTINGS_STARTUP_ENABLE = 6, // move a startup entry between Run and its parking key; result 1
    SETTINGS_STARTUP_DELETE = 7, // delete a startup entry; result 1
    SETTINGS_USER_PROFILE = 8,   // the user's hive name and folder; no reply
    SETTINGS_DELETE_KEY = 9,     // delete a key tree (HKLM or HKCR by scope); no reply
    SETTINGS_SEARCH_PAGE = 10,   // the browser search values (by scope); no reply
    SETTINGS_DELETE_VALUE = 11,  // delete a machine-wide value; no reply
    SETTINGS_MAY_DELETE = 14,    // may this registry item be deleted? result 1 = yes
};

// The first field of an IpcQueueRecord request on the BACKUP pipe.
enum BackupRequestType : uint32_t
{
    BACKUP_FILE_STAMP = 1, // result 1 = stamp found (in text1), 0 = not
    BACKUP_STORE = 2,      // store text3 under the root text1; result 0 = stored, 1 = failed
    BACKUP_RESTORE = 5,    // restore text3 under the root text1; result 0 = restored, 1 = failed
};

// The first field of an IpcQueueRecord notice on the USER pipe. Only the echo
// is answered; no other field of a notice is read.
enum UserNoticeType : uint32_t
{
    USER_ACKNOWLEDGE_1 = 1,    // acknowledge only
    USER_BRING_TO_FRONT = 2,   // a second start of the main program hands over
    USER_ACKNOWLEDGE_3 = 3,    // acknowledge only
    USER_SERVICE_STOPPING = 4, // the main program removes its tray icon and ends
    USER_ECHO = 5,             // the record comes back with IPC_STATUS_OK first
};

// Startup-entry scope of SETTINGS types 6 and 7.
enum StartupEntryScope : uint32_t
{
    STARTUP_SCOPE_MACHINE = 1, // the machine-wide Run key
    STARTUP_SCOPE_USER = 2,    // the user's own Run key
};

// 30,740 bytes: request and reply of the SETTINGS pipe. A reply carries
// IPC_STATUS_OK in `type` and the outcome in `result`.
struct IpcSettingsRecord
{
    uint32_t type;            // SettingsRequestType; IPC_STATUS_OK in a reply
    uint32_t scope;           // 6, 7: StartupEntryScope; 9: 1 HKLM, 2 HKCR; 10: value chosen
    uint32_t result;          // set by the service in a reply
    char key[4096];           // value name, key path or folder, by type
    char valueName[1024];     // type 11: the value name
    char valueData[1024];     // read by no request type
    char proxyHost[4096];     // type 1
    uint32_t proxyPort;       // type 1
    char proxyLogin[4096];    // type 1
    char proxyPassword[4096]; // type 1
    uint32_t proxyType;       // type 1: the proxy kind; type 6: non-zero = enable
    char language[4096];      // type 5: the language folder's name
    char userKeyRoot[4096];   // types 8 and 14: the user's hive under HKEY_USERS (SID text)
    // Type 8: the folder the main program sends, its per-user application-data
    // folder (the profile database lies below it).
    char profilePath[4096];
};

// 15,428 bytes: request and reply of the BACKUP pipe, notice of the USER
// pipe. A reply carries IPC_STATUS_OK in `command` and the outcome in
// `result`.
struct IpcQueueRecord
{
    uint32_t command;        // BackupRequestType or UserNoticeType; IPC_STATUS_OK in a reply
    uint32_t reserved4;      // never written by either side
    uint32_t result;         // set by the server in a reply
    uint32_t reserved12;     // never written
    char text1[1024];        // destination or target root; the stamp in a stamp reply
    char text2[1024];        // the encryption password (empty: none)
    uint8_t reserved2064[8]; // a gap: text3 does not follow text2 directly
    char text3[4096];        // the file path the request is about
    uint8_t reserved6168[8212];
    uint32_t compress; // 1 = the stored form is bzip2
    uint32_t encrypt;  // 1 = the stored form is RC4-encrypted
    uint8_t reserved14388[1040];
};

static_assert(std::is_standard_layout_v<IpcSettingsRecord> &&
                  std::is_trivially_copyable_v<IpcSettingsRecord>,
              "a pipe record is a plain byte image");
static_assert(sizeof(IpcSettingsRecord) == 30740, "SETTINGS record size");
static_assert(offsetof(IpcSettingsRecord, type) == 0, "type");
static_assert(offsetof(IpcSettingsRecord, scope) == 4, "scope");
static_assert(offsetof(IpcSettingsRecord, result) == 8, "result");
static_assert(offsetof(IpcSettingsRecord, key) == 12, "key");
static_assert(offsetof(IpcSettingsRecord, valueName) == 4108, "valueName");
static_assert(offsetof(IpcSettingsRecord, valueData) == 5132, "valueData");
static_assert(offsetof(IpcSettingsRecord, proxyHost) == 6156, "proxyHost");
static_assert(offsetof(IpcSettingsRecord, proxyPort) == 10252, "proxyPort");
static_assert(offsetof(IpcSettingsRecord, proxyLogin) == 10256, "proxyLogin");
static_assert(offsetof(IpcSettingsRecord, proxyPassword) == 14352, "proxyPassword");
static_assert(offsetof(IpcSettingsRecord, proxyType) == 18448, "proxyType");
static_assert(offsetof(IpcSettingsRecord, language) == 18452, "language");
static_assert(offsetof(IpcSettingsRecord, userKeyRoot) == 22548, "userKeyRoot");
static_assert(offsetof(IpcSettingsRecord, profilePath) == 26644, "profilePath");

static_assert(std::is_standard_layout_v<IpcQueueRecord> &&
                  std::is_trivially_copyable_v<IpcQueueRecord>,
              "a pipe record is a plain byte image");
static_assert(sizeof(IpcQueueRecord) == 15428, "BACKUP and USER record size");
static_assert(offsetof(IpcQueueRecord, command) == 0, "command");
static_assert(offsetof(IpcQueueRecord, reserved4) == 4, "reserved4");
static_assert(offsetof(IpcQueueRecord, result) == 8, "result");
static_assert(offsetof(IpcQueueRecord, reserved12) == 12, "reserved12");
static_assert(offsetof(IpcQueueRecord, text1) == 16, "text1");
static_assert(offsetof(IpcQueueRecord, text2) == 1040, "text2");
static_assert(offsetof(IpcQueueRecord, reserved2064) == 2064, "the gap after text2");
static_assert(offsetof(IpcQueueRecord, text3) == 2072, "text3");
static_assert(offsetof(IpcQueueRecord, reserved6168) == 6168, "reserved6168");
static_assert(offsetof(IpcQueueRecord, compress) == 14380, "compress");
static_assert(offsetof(IpcQueueRecord, encrypt) == 14384, "encrypt");
static_assert(offsetof(IpcQueueRecord, reserved14388) == 14388, "reserved14388");

// Copies `text` into a record's text field: at most N - 1 characters, the
// rest of the field zero, so the field always ends in NUL and a longer text
// is cut. A null text leaves the field empty. Used by senders and servers.
template <size_t N> inline void IpcCopyText(char (&field)[N], const char* text)
{
    static_assert(N > 0, "a text field holds at least its NUL");
    size_t length = text ? ::strnlen(text, N - 1) : 0;
    if (length > 0)
        std::memcpy(field, text, length);
    std::memset(field + length, 0, N - length);
}

// Whether the text fits the field whole, with its NUL. A sender refuses a
// text that does not: cut, a path would name another file and a password be
// another key.
template <size_t N> inline bool IpcTextFits(const char (&)[N], const char* text)
{
    return text == nullptr || ::strnlen(text, N) < N;
}

// Reads a text field of a received record, which a peer may have left
// without a NUL: at most N - 1 characters.
template <size_t N> inline size_t IpcTextLength(const char (&field)[N])
{
    return ::strnlen(field, N - 1);
}

#endif
