#include "foundation/CrashDump.h"

#include <dbghelp.h>
#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

// The dump library declares its exception record under pack(4); a record
// declared with natural alignment would put the pointer at 8 and break the
// call.
static_assert(sizeof(MINIDUMP_EXCEPTION_INFORMATION) == 16, "packed to 4 on x64");
static_assert(offsetof(MINIDUMP_EXCEPTION_INFORMATION, ExceptionPointers) == 4,
              "the pointer follows the thread id directly");

namespace
{
typedef decltype(&MiniDumpWriteDump) MiniDumpWriteDumpFunction;

const char kLibraryName[] = "DBGHELP.DLL";
const char kFallbackFolder[] = "c:\\temp\\";
const char kDumpExtension[] = ".dmp";
// GetTempPathA's longest answer is MAX_PATH + 1 characters and the NUL.
constexpr size_t kTempPathCapacity = MAX_PATH + 2;
// The fixed part of the longest message and a signed ten-digit number.
constexpr size_t kTextReserve = 64;
// The helper thread's stack, and how long a helper that has not begun its
// work is awaited (a crash inside the loader lock keeps a new thread from
// starting at all: the crashed thread then writes the dump itself). A
// thread that crashed by using up its stack never takes the job: the dump
// library would run out of stack again, inside the loader lock, and leave
// the process hanging with no dump. It waits for its helper instead,
// however long the start takes on a busy machine.
constexpr SIZE_T kHelperStackSize = 256 * 1024;
constexpr DWORD kHelperStartWait = 5000;

bool IsStackOverflow(const EXCEPTION_POINTERS* exceptionPointers)
{
    return exceptionPointers != nullptr && exceptionPointers->ExceptionRecord != nullptr &&
           exceptionPointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
}
// Only SYSTEM and the administrators, nothing inherited from the folder.
const char kPrivateFileDescriptor[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";

void ShowInMessageBox(const char* text, const char* caption)
{
    ::MessageBoxA(nullptr, text, caption, MB_OK);
}

std::atomic<CrashMessageSink> g_messageSink{nullptr};

CCrashDumpWriter g_mainWriter;
} // namespace

void SetCrashMessageSink(CrashMessageSink sink)
{
    g_messageSink.store(sink);
}

CCrashDumpWriter::~CCrashDumpWriter()
{
    delete[] m_name;
    delete[] m_path;
    delete[] m_text;
    if (m_descriptor != nullptr)
        ::LocalFree(m_descriptor);
}

bool CCrashDumpWriter::Prepare(const char* applicationName, unsigned options)
{
    if (IsPrepared())
        return true;
    if (applicationName == nullptr)
        applicationName = "Application";
    const size_t nameLength = std::strlen(applicationName);
    const size_t pathCapacity = kTempPathCapacity + nameLength + sizeof(kDumpExtension);
    const size_t textCapacity = pathCapacity + kTextReserve;
    char* name = new (std::nothrow) char[nameLength + 1];
    char* path = new (std::nothrow) char[pathCapacity];
    char* text = new (std::nothrow) char[textCapacity];
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool ok = name != nullptr && path != nullptr && text != nullptr;
    if (ok && (options & kPrivateFile) != 0)
        ok = ::ConvertStringSecurityDescriptorToSecurityDescriptorA(
                 kPrivateFileDescriptor, SDDL_REVISION_1, &descriptor, nullptr) != FALSE;
    if (!ok)
    {
        delete[] name;
        delete[] path;
        delete[] text;
        return false;
    }
    std::memcpy(name, applicationName, nameLength + 1);
    path[0] = 0;
    text[0] = 0;
    m_path = path;
    m_pathCapacity = pathCapacity;
    m_text = text;
    m_textCapacity = textCapacity;
    m_options = options;
    m_descriptor = descriptor;
    m_name = name;
    return true;
}

CrashDumpStatus CCrashDumpWriter::Write(EXCEPTION_POINTERS* exceptionPointers)
{
    if (!IsPrepared())
        return CrashDumpStatus::LibraryNotFound;
    // A second thread that crashes while a dump is being written waits for
    // that dump instead of writing over it.
    if (m_busy.exchange(true))
    {
        while (m_busy.load())
            ::Sleep(50);
        return m_jobStatus;
    }
    m_jobPointers = exceptionPointers;
    m_jobThreadId = ::GetCurrentThreadId();
    m_jobClaimed.store(false);
    bool done = false;
    HANDLE thread = ::CreateThread(nullptr, kHelperStackSize, JobThread, this, 0, nullptr);
    if (thread != nullptr)
    {
        const DWORD startWait = IsStackOverflow(exceptionPointers) ? INFINITE : kHelperStartWait;
        if (::WaitForSingleObject(thread, startWait) == WAIT_OBJECT_0)
            done = true;
        else if (m_jobClaimed.exchange(true))
        {
            // The helper has the job: let it finish however long it takes.
            ::WaitForSingleObject(thread, INFINITE);
            done = true;
        }
        ::CloseHandle(thread);
    }
    if (!done)
        m_jobStatus = WriteOnThisThread(exceptionPointers, m_jobThreadId);
    m_busy.store(false);
    return m_jobStatus;
}

DWORD WINAPI CCrashDumpWriter::JobThread(void* parameter)
{
    CCrashDumpWriter* writer = static_cast<CCrashDumpWriter*>(parameter);
    // Whoever claims the job first runs it: this thread, or the crashed one
    // when this thread was too late to start.
    if (!writer->m_jobClaimed.exchange(true))
        writer->m_jobStatus =
            writer->WriteOnThisThread(writer->m_jobPointers, writer->m_jobThreadId);
    return 0;
}

CrashDumpStatus CCrashDumpWriter::WriteOnThisThread(EXCEPTION_POINTERS* exceptionPointers,
                                                    DWORD threadId)
{
    m_path[0] = 0;
    // The library is never freed: the process is going down.
    HMODULE library = LoadDumpLibrary();
    if (library == nullptr)
        return Finish(CrashDumpStatus::LibraryNotFound, 0);
    MiniDumpWriteDumpFunction writeDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library, "MiniDumpWriteDump")));
    if (writeDump == nullptr)
        return Finish(CrashDumpStatus::LibraryTooOld, 0);

    BuildDumpPath();
    HANDLE file = CreateDumpFile();
    if (file == INVALID_HANDLE_VALUE)
        return Finish(CrashDumpStatus::CreateFailed, ::GetLastError());

    MINIDUMP_EXCEPTION_INFORMATION information;
    information.ThreadId = threadId;
    information.ExceptionPointers = exceptionPointers;
    information.ClientPointers = FALSE;
    const BOOL written =
        writeDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file, MiniDumpNormal,
                  exceptionPointers != nullptr ? &information : nullptr, nullptr, nullptr);
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    return Finish(written ? CrashDumpStatus::Saved : CrashDumpStatus::WriteFailed, error);
}

HMODULE CCrashDumpWriter::LoadDumpLibrary() const
{
    // The copy beside the program first. A program path that fills the
    // buffer may be cut short and would name the wrong file: then only the
    // second way is tried.
    char path[MAX_PATH + sizeof(kLibraryName)];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
    {
        char* slash = std::strrchr(path, '\\');
        if (slash != nullptr)
        {
            std::memcpy(slash + 1, kLibraryName, sizeof(kLibraryName));
            HMODULE library = ::LoadLibraryA(path);
            if (library != nullptr)
                return library;
        }
    }
    if ((m_options & kSystemFolderLibrary) == 0)
        return ::LoadLibraryA(kLibraryName);
    const UINT folderLength = ::GetSystemDirectoryA(path, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH)
        return nullptr;
    path[folderLength] = '\\';
    std::memcpy(path + folderLength + 1, kLibraryName, sizeof(kLibraryName));
    return ::LoadLibraryA(path);
}

void CCrashDumpWriter::BuildDumpPath()
{
    // The buffer holds the longest temporary folder, the name and ".dmp",
    // so nothing here can run past it, however long the name is.
    const DWORD length = ::GetTempPathA(static_cast<DWORD>(kTempPathCapacity), m_path);
    if (length == 0 || length >= kTempPathCapacity)
        std::memcpy(m_path, kFallbackFolder, sizeof(kFallbackFolder));
    size_t used = std::strlen(m_path);
    const size_t nameLength = std::strlen(m_name);
    std::memcpy(m_path + used, m_name, nameLength);
    used += nameLength;
    std::memcpy(m_path + used, kDumpExtension, sizeof(kDumpExtension));
}

HANDLE CCrashDumpWriter::CreateDumpFile() const
{
    if ((m_options & kPrivateFile) == 0)
        return ::CreateFileA(m_path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    // A file or link that someone else put under the name goes first; then
    // the file is made new, with the private descriptor and no sharing.
    // Should the name be taken again in between, the creation fails and no
    // dump is written: never into a file that someone else holds.
    ::DeleteFileA(m_path);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), m_descriptor, FALSE};
    return ::CreateFileA(m_path, GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
}

CrashDumpStatus CCrashDumpWriter::Finish(CrashDumpStatus status, DWORD error)
{
    // "%d" as the messages have always read: codes above 2^31 show negative.
    const int code = static_cast<int>(error);
    switch (status)
    {
    case CrashDumpStatus::LibraryNotFound:
        std::snprintf(m_text, m_textCapacity, "DBGHELP.DLL not found");
        break;
    case CrashDumpStatus::LibraryTooOld:
        std::snprintf(m_text, m_textCapacity, "DBGHELP.DLL too old");
        break;
    case CrashDumpStatus::CreateFailed:
        std::snprintf(m_text, m_textCapacity, "Failed to create dump file '%s' (error %d)", m_path,
                      code);
        break;
    case CrashDumpStatus::WriteFailed:
        std::snprintf(m_text, m_textCapacity, "Failed to save dump file to '%s' (error %d)", m_path,
                      code);
        break;
    case CrashDumpStatus::Saved:
        std::snprintf(m_text, m_textCapacity, "Saved dump file to '%s'", m_path);
        break;
    }
    if ((m_options & kShowResult) != 0)
    {
        CrashMessageSink sink = g_messageSink.load();
        (sink != nullptr ? sink : ShowInMessageBox)(m_text, m_name);
    }
    return status;
}

void InstallCrashDumpHandler(const char* applicationName)
{
    if (g_mainWriter.IsPrepared())
        return;
    if (g_mainWriter.Prepare(applicationName, CCrashDumpWriter::kShowResult))
        ::SetUnhandledExceptionFilter(WriteCrashDump);
}

LONG WINAPI WriteCrashDump(EXCEPTION_POINTERS* exceptionPointers)
{
    return g_mainWriter.Write(exceptionPointers) == CrashDumpStatus::Saved
               ? EXCEPTION_EXECUTE_HANDLER
               : EXCEPTION_CONTINUE_SEARCH;
}
