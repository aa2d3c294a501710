#include "engine/BackupRun.h"

#include "engine/BackupCache.h"
#include "engine/FileStamp.h"
#include "engine/FileStoreService.h"
#include "engine/FileSystem.h"
#include "engine/FileWalk.h"
#include "engine/FileWorkers.h"
#include "engine/LogFile.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"
#include "engine/StoredTree.h"
#include "foundation/Array.h"
#include "foundation/Exception.h"

#include <objbase.h>

#include <cstring>
#include <memory>
#include <vector>

const char* const kRefusedDestinationLine =
    "Backup not started: \"%s\" is not a full folder path (such as D:\\Backup\\).\r\n\r\n";
const char* const kEndedEarlyLine =
    "Backup ended early on a database error; the files of the source under way are stored "
    "again on the next run.\r\n\r\n";
const char* const kServiceGoneLine =
    "The Brindlewox service does not answer: local files are not stored in this run.\r\n\r\n";
const char* const kOwnFolderSkippedLine =
    "Not backed up, a folder of the backup itself: %s\r\n\r\n";

namespace
{
constexpr DWORD kVolumeInfoWaitMs = 60000;

CString WithoutBackslash(const CString& path)
{
    const int length = path.GetLength();
    return length > 0 && path[length - 1] == '\\' ? path.Left(length - 1) : path;
}

// A store service whose stamps come from the file's own record, read here
// (MakeFileStamp: no open, no pipe round trip); only a path whose record
// cannot be read here is asked of the service it wraps.
class COwnRecordStampService : public IFileStoreService
{
public:
    explicit COwnRecordStampService(IFileStoreService& inner) : m_inner(inner) {}

    bool GetFileStamp(const char* path, CString& stamp) override
    {
        return MakeFileStamp(path, stamp) || m_inner.GetFileStamp(path, stamp);
    }
    bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                   const char* password) override
    {
        return m_inner.StoreFile(source, treeRoot, compress, encrypt, password);
    }

private:
    IFileStoreService& m_inner;
};

// Copies the profile into the destination's Settings folder and blanks the
// encryption password in the copy. The copy is then rebuilt (VACUUM): the
// profile's file keeps the texts of earlier rows in its free space, the
// password among them, and only a rebuilt file holds nothing but its live
// rows. The journal stays in memory, so the page that held the password is
// never written to the destination either. A copy whose password cannot be
// blanked is deleted rather than kept.
void CopyProfileWithoutPassword(CRunContext& context, const CString& copy)
{
    if (!CopyFileA(context.profilePath, copy, FALSE))
        return;
    try
    {
        CSqlDB database;
        database.Open(copy);
        database.Execute("PRAGMA journal_mode=MEMORY;");
        database.Execute("UPDATE backup_settings SET encrypt_pwd='';");
        database.Execute("VACUUM;");
        database.Close();
    }
    catch (const CSqlException& e)
    {
        context.WriteDebugLog(e);
        SetFileAttributesA(copy, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(copy);
    }
}

// The grants of the run, revoked on every way out.
class VolumeInfoGrant
{
public:
    explicit VolumeInfoGrant(DWORD drives) : m_drives(drives) { GrantVolumeInfoAccess(drives); }
    VolumeInfoGrant(const VolumeInfoGrant&) = delete;
    VolumeInfoGrant& operator=(const VolumeInfoGrant&) = delete;
    ~VolumeInfoGrant()
    {
        try
        {
            RevokeVolumeInfoAccess(m_drives);
        }
        catch (...)
        {
            // Out of memory for a command line: the grant stays, as one that
            // failed would.
        }
    }

private:
    DWORD m_drives;
};

class CBackupRun
{
public:
    CBackupRun(CRunContext& context, int threadPriority)
        : m_context(context), m_gate(context), m_pipe(context.backupWorker.GetStopEvent()),
          m_threadPriority(threadPriority)
    {
        const BackupFileServices defaults{m_pipe, m_direct};
        const BackupFileServices& inner = context.services ? *context.services : defaults;
        m_local = std::make_unique<COwnRecordStampService>(inner.local);
        m_network = std::make_unique<COwnRecordStampService>(inner.network);
        m_services = std::make_unique<BackupFileServices>(BackupFileServices{*m_local, *m_network});
        m_workers = std::make_unique<CFileWorkers<PendingStore>>(
            [this](const PendingStore& file) { return Store(file); }, context.backupWorker,
            &context.engineBusy);
        m_finished = [this](const FinishedWork<PendingStore>& done) { Finish(done); };
    }

    BackupOutcome Run();

private:
    BackupOutcome RunSources(const CArray<ProfileItem>& items);
    // The pass over one file-or-folder source: 0 when the worker's stop
    // event ended it, 1 otherwise. Every store it handed out has ended when
    // it returns.
    int BackupSourceFiles(const CString& source);
    void BackupEntry(const CString& path);
    // One store, on a store worker.
    WorkOutcome Store(const PendingStore& file);
    // Records one finished store (the run's thread).
    void Finish(const FinishedWork<PendingStore>& done);
    void NoteServiceGone();
    bool IsOwnFolder(const CString& path);
    void DumpDatabase(const ProfileItem& item);
    CString LanguageLine(const char* key, const char* text, const char* path);

    CRunContext& m_context;
    CBackupGate m_gate;
    CPipeFileService m_pipe;
    CDirectFileService m_direct;
    CListedPaths m_listed;
    std::unique_ptr<COwnRecordStampService> m_local;
    std::unique_ptr<COwnRecordStampService> m_network;
    std::unique_ptr<BackupFileServices> m_services;
    BackupStoreSettings m_settings;
    CSqlDB m_cache;
    // The decisions' lookups of the cache and of the stored copies.
    CCacheLookup m_lookup{m_cache};
    CStoredCopies m_copies;
    std::vector<CString> m_ownFolders;
    // Every source folder walked, for its stored folder's times.
    CWalkedFolders m_folders;
    bool m_serviceGoneLogged = false;
    int m_threadPriority;
    // Declared after everything its workers use, so it ends first.
    std::unique_ptr<CFileWorkers<PendingStore>> m_workers;
    CFileWorkers<PendingStore>::Finished m_finished;
};

BackupOutcome CBackupRun::Run()
{
    const CString destination = m_context.destination;
    ProfileSettings profileSettings;
    CArray<ProfileItem> items;
    bool haveSettings = false;
    try
    {
        // Read whole and closed again: the profile is not held for the run.
        const CProfileDB profile(m_context.profilePath);
        haveSettings = profile.LoadSettings(profileSettings);
        profile.LoadItems(items);
    }
    catch (const CSqlException& e)
    {
        m_context.WriteDebugLog(e);
        m_context.WriteLog(kEndedEarlyLine);
        return kBackupFailed;
    }
    // An empty or relative destination would put the cache in this program's
    // current folder and the stored files in the service's (System32).
    for (const CString& path :
         {destination, haveSettings ? profileSettings.destination : CString("")})
    {
        if (!IsAbsoluteFolderPath(path))
        {
            CString line;
            line.Format(kRefusedDestinationLine, (const char*)path);
            m_context.WriteLog(line);
            return kBackupFailed;
        }
    }
    m_settings.treeRoot = profileSettings.destination + "Files\\";
    m_settings.compress = profileSettings.compress ? 1 : 0;
    m_settings.encrypt = profileSettings.encrypt ? 1 : 0;
    m_settings.password = profileSettings.password;
    m_ownFolders = {destination + "Settings", profileSettings.destination + "Files",
                    profileSettings.destination + "Databases"};

    VolumeInfoGrant grant(DrivesNeedingVolumeInfoAccess(items));
    // Every missing level, the destination's own folder too: a destination
    // that was moved or never made is made again rather than failing the run.
    const CString profileCopy = destination + "Settings" + "\\Profile.prb";
    CreateFolderPath(profileCopy);
    CopyProfileWithoutPassword(m_context, profileCopy);
    const CString cacheFile = GetCacheFilePath(destination);
    try
    {
        CreateCacheIfMissing(cacheFile);
    }
    catch (const CSqlException& e)
    {
        m_context.WriteDebugLog(e);
    }

    // The walk decides while the workers store (begun with the first file
    // to store); with no thread to be had the run stores on its own.
    m_workers->Start(m_context.storeWorkers, m_threadPriority);

    BackupOutcome outcome = kBackupFailed;
    try
    {
        m_cache.Open(cacheFile);
        outcome = RunSources(items);
        m_listed.Seal();
        // A run in which the service never answered stored none of the
        // local files it found changed: it failed, whatever else it did.
        if (outcome == kBackupCompleted && m_pipe.HasGivenUp())
            outcome = kBackupFailed;
        if (outcome == kBackupCompleted &&
            !PruneOrphanedCopies(m_context, m_gate, profileSettings.destination, &m_listed,
                                 &m_copies))
            outcome = kBackupStopped;
        if (outcome == kBackupCompleted && m_context.engineBusy.load() == 0)
            outcome = kBackupStopped;
    }
    catch (const CSqlException& e)
    {
        m_context.WriteDebugLog(e);
        m_context.WriteLog(kEndedEarlyLine);
        outcome = kBackupFailed;
    }
    m_cache.Close();
    // Last of all, once every store (and its temporary file) has ended and
    // the clean-up has deleted what it would: each stored folder gets its
    // source folder's times and attributes again. Only the worker's stop
    // skips it; the next run finds what is left.
    CBackupGate gate(m_context.backupWorker, nullptr);
    m_folders.Apply([&gate] { return gate.GoOn(); });
    return outcome;
}

BackupOutcome CBackupRun::RunSources(const CArray<ProfileItem>& items)
{
    for (int i = 0; i < items.GetSize(); ++i)
    {
        const ProfileItem& item = items[i];
        if (!item.checked)
            continue;
        if (!m_gate.GoOn())
            return kBackupStopped;
        if (item.type == PROFILE_ITEM_DATABASE)
        {
            DumpDatabase(item);
        }
        else if (item.type == PROFILE_ITEM_FILES)
        {
            // A source's rows become durable together; an error leaves the
            // transaction uncommitted, and it is rolled back.
            CSqlTransaction transaction(m_cache);
            BackupSourceFiles(item.path);
            transaction.Commit();
        }
    }
    return m_gate.GoOn() ? kBackupCompleted : kBackupStopped;
}

int CBackupRun::BackupSourceFiles(const CString& source)
{
    if (!m_gate.GoOn())
        return m_gate.Stopped() ? 0 : 1;
    if (IsOwnFolder(WithoutBackslash(source)))
        return 1;

    CString pattern = source;
    if (IsFolderOrMissing(source))
    {
        // The folder's own entry first. A drive root keeps its backslash:
        // "C:" alone would name the current folder of the drive.
        CString item = source;
        if (item.GetLength() > 1 && item[item.GetLength() - 1] == '\\' &&
            !(item.GetLength() == 3 && item[1] == ':'))
            item = item.Left(item.GetLength() - 1);
        BackupEntry(item);
        m_folders.Add(item, StoredCopyPath(m_settings.treeRoot, item));
        if (pattern.IsEmpty() || pattern[pattern.GetLength() - 1] != '\\')
            pattern += '\\';
        pattern += "*.*";
    }

    WalkBreadthFirst(
        pattern, m_context.engineBusy, [this] { return m_gate.GoOn(); },
        [this](size_t count) { m_context.SetProgressRange(static_cast<int>(count)); },
        [this](size_t index, const WalkEntry& entry)
        {
            m_context.SetProgressPosition(static_cast<int>(index));
            const CString item = entry.ItemPath();
            if (IsOwnFolder(item))
                return false;
            m_listed.Add(item);
            BackupEntry(item);
            if (entry.IsFolder())
                m_folders.Add(item, StoredCopyPath(m_settings.treeRoot, item));
            return true;
        });
    // The source's rows are committed only once all its stores have ended.
    m_workers->Drain(m_finished);
    m_context.SetProgressPosition(0);
    return m_gate.Stopped() ? 0 : 1;
}

void CBackupRun::BackupEntry(const CString& path)
{
    PendingStore pending;
    bool store = false;
    try
    {
        m_context.ShowCurrentFile(path);
        store = DecideBackupFile(*m_services, m_cache, m_settings, path, pending, &m_lookup,
                                 &m_copies);
        // An unchanged entry counts here; one to store once its store ended.
        if (!store)
            m_context.FileStarted(path);
    }
    catch (const CSqlException& e)
    {
        // Counted, neither stored nor failed; it is tried again next run.
        m_context.FileStarted(path);
        m_context.WriteDebugLog(e);
    }
    catch (...)
    {
        m_context.FileStarted(path);
        m_context.WriteLog(LanguageLine(kErrorAtKey, kErrorAtText, path));
        m_context.FileFailed(path);
    }
    if (store)
        m_workers->Submit(pending, m_finished);
    NoteServiceGone();
}

WorkOutcome CBackupRun::Store(const PendingStore& file)
{
    if (StorePendingFile(*m_services, m_settings, file))
        return WorkOutcome::Done;
    // A store the stop cut off is not handled: the next run stores it.
    return m_context.backupWorker.IsStopRequested() ? WorkOutcome::NotDone : WorkOutcome::Failed;
}

void CBackupRun::Finish(const FinishedWork<PendingStore>& done)
{
    // Not begun, or cut off by the stop: not handled, so not counted.
    if (done.outcome == WorkOutcome::NotDone)
        return;
    m_context.FileStarted(done.item.path);
    try
    {
        RecordStoreOutcome(m_context, m_cache, done.item, done.outcome == WorkOutcome::Done);
    }
    catch (const CSqlException& e)
    {
        // A stored file without its row is stored again next run.
        m_context.WriteDebugLog(e);
    }
    NoteServiceGone();
}

void CBackupRun::NoteServiceGone()
{
    if (m_pipe.HasGivenUp() && !m_serviceGoneLogged)
    {
        m_serviceGoneLogged = true;
        m_context.WriteLog(kServiceGoneLine);
    }
}

bool CBackupRun::IsOwnFolder(const CString& path)
{
    for (const CString& folder : m_ownFolders)
    {
        if (IsSameOrInside(path, folder))
        {
            CString line;
            line.Format(kOwnFolderSkippedLine, (const char*)path);
            m_context.WriteLog(line);
            return true;
        }
    }
    return false;
}

void CBackupRun::DumpDatabase(const ProfileItem& item)
{
    if (m_context.databaseDump)
    {
        m_context.databaseDump->RunDatabaseBackups(item);
        return;
    }
    m_context.WriteLog(LanguageLine(kErrorAtKey, kErrorAtText, item.path));
    m_context.FileFailed(item.path);
}

CString CBackupRun::LanguageLine(const char* key, const char* text, const char* path)
{
    return m_context.GetLanguageText(key, text) + " " + path + "\r\n\r\n";
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
} // namespace

bool CBackupGate::GoOn()
{
    if (m_stopped)
        return false;
    const ULONGLONG now = GetTickCount64();
    if (!m_waited || m_worker.IsPaused() || now - m_lastWait >= kWaitEveryMs)
    {
        if (!m_worker.WaitToContinue())
        {
            m_stopped = true;
            return false;
        }
        m_waited = true;
        m_lastWait = GetTickCount64();
    }
    return m_running == nullptr || m_running->load() != 0;
}

bool IsAbsoluteFolderPath(const char* path)
{
    if (!path)
        return false;
    if (IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\')
        return true;
    // "\\server\share": a server name that is not one of the device forms.
    if (path[0] != '\\' || path[1] != '\\')
        return false;
    const char* server = path + 2;
    const char* end = strchr(server, '\\');
    if (!end || end == server || end[1] == 0 || end[1] == '\\')
        return false;
    const size_t length = static_cast<size_t>(end - server);
    return !(length == 1 && (server[0] == '?' || server[0] == '.'));
}

bool IsSameOrInside(const char* path, const char* folder)
{
    const size_t length = strlen(folder);
    if (length == 0 || _strnicmp(path, folder, length) != 0)
        return false;
    return path[length] == 0 || path[length] == '\\';
}

void PriorityForLevel(DWORD level, DWORD& priorityClass, int& threadPriority)
{
    priorityClass = level < 7 ? IDLE_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
    switch (level)
    {
    case 1:
        threadPriority = THREAD_PRIORITY_IDLE;
        break;
    case 2:
    case 7:
        threadPriority = THREAD_PRIORITY_LOWEST;
        break;
    case 3:
    case 8:
        threadPriority = THREAD_PRIORITY_BELOW_NORMAL;
        break;
    case 4:
    case 9:
        threadPriority = THREAD_PRIORITY_NORMAL;
        break;
    case 5:
    case 10:
        threadPriority = THREAD_PRIORITY_ABOVE_NORMAL;
        break;
    default:
        threadPriority = THREAD_PRIORITY_HIGHEST;
        break;
    }
}

void ApplyPriorityLevel(DWORD level)
{
    DWORD priorityClass;
    int threadPriority;
    PriorityForLevel(level, priorityClass, threadPriority);
    SetPriorityClass(GetCurrentProcess(), priorityClass);
    SetThreadPriority(GetCurrentThread(), threadPriority);
}

int ApplyPriorityLevel()
{
    DWORD level = setting::DefaultPriorityLevel;
    ReadSettingDword(setting::PriorityLevel, level);
    ApplyPriorityLevel(level);
    DWORD priorityClass;
    int threadPriority;
    PriorityForLevel(level, priorityClass, threadPriority);
    return threadPriority;
}

HANDLE StartProcess(const char* commandLine, WORD showState)
{
    // CreateProcessA may write into the command line: a copy of its own.
    std::vector<char> line(commandLine, commandLine + strlen(commandLine) + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK | STARTF_USESTDHANDLES;
    startup.wShowWindow = showState;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

bool RunProcessAndWait(const char* commandLine, DWORD timeoutMs, WORD showState)
{
    HANDLE process = StartProcess(commandLine, showState);
    if (!process)
        return false;
    WaitForSingleObject(process, timeoutMs);
    CloseHandle(process);
    return true;
}

CString VolumeInfoCommand(char drive, const char* user, bool grant)
{
    CString line;
    if (grant)
        line.Format("cacls \"%c:\\System Volume Information\" /E /G \"%s\":F", drive, user);
    else
        line.Format("cacls \"%c:\\System Volume Information\" /E /R \"%s\"", drive, user);
    return line;
}

namespace
{
void RunVolumeInfoCommands(DWORD wanted, bool grant)
{
    const DWORD drives = wanted & GetLogicalDrives() & ~3u;
    if (!drives)
        return;
    char user[256] = {};
    DWORD size = sizeof(user);
    if (!GetUserNameA(user, &size))
        return;
    if (FAILED(CoInitialize(nullptr)))
        return;
    // The commands of all drives run side by side (each touches its own
    // drive) and are waited for together: starting a program costs about
    // 50 ms under Wine, one after the other a fixed share of every run.
    // The process's error mode, which the children inherit: no box asking
    // for a disk in an empty drive.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::vector<HANDLE> started;
    for (int bit = 2; bit < 26; ++bit)
    {
        if (!(drives & (1u << bit)))
            continue;
        HANDLE process =
            StartProcess(VolumeInfoCommand(static_cast<char>('A' + bit), user, grant), SW_HIDE);
        if (process)
            started.push_back(process);
    }
    SetErrorMode(previous);
    if (!started.empty())
        WaitForMultipleObjects(static_cast<DWORD>(started.size()), started.data(), TRUE,
                               kVolumeInfoWaitMs);
    for (HANDLE process : started)
        CloseHandle(process);
    CoUninitialize();
}
} // namespace

DWORD DrivesNeedingVolumeInfoAccess(const CArray<ProfileItem>& items)
{
    DWORD drives = 0;
    for (int i = 0; i < items.GetSize(); ++i)
    {
        const ProfileItem& item = items[i];
        if (!item.checked || item.type != PROFILE_ITEM_FILES || item.path.GetLength() < 2 ||
            item.path[1] != ':' || !IsDriveLetter(item.path[0]))
            continue;
        const char letter = static_cast<char>(item.path[0] & ~0x20); // upper case
        const CString folder = CString(letter, 1) + ":\\System Volume Information";
        const CString source = WithoutBackslash(item.path);
        if (IsSameOrInside(folder, source) || IsSameOrInside(source, folder))
            drives |= 1u << (letter - 'A');
    }
    return drives & ~3u;
}

void GrantVolumeInfoAccess(DWORD drives)
{
    RunVolumeInfoCommands(drives, true);
}

void RevokeVolumeInfoAccess(DWORD drives)
{
    RunVolumeInfoCommands(drives, false);
}

unsigned __stdcall BackupThreadProc(void* parameter)
{
    CRunContext& context = *static_cast<CRunContext*>(parameter);
    const int threadPriority = ApplyPriorityLevel();
    BackupOutcome outcome = kBackupFailed;
    try
    {
        CBackupRun run(context, threadPriority);
        outcome = run.Run();
    }
    catch (CException* e)
    {
        // Socket errors of the web-site dump are thrown as heap objects.
        delete e;
        context.WriteLog(kEndedEarlyLine);
    }
    catch (...)
    {
        context.WriteLog(kEndedEarlyLine);
    }
    context.scheduled.store(0);
    MessageBeep(static_cast<UINT>(-1));
    if (context.window)
        PostMessageA(context.window, WM_BACKUP_FINISHED, outcome, 0);
    return 0;
}
