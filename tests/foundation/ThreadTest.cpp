#include "foundation/Thread.h"

#include "foundation/Exception.h"
#include "foundation/String.h"

#include "foundation/Socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <process.h>
#include <string>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<CWorkerThread>);
static_assert(!std::is_copy_assignable_v<CWorkerThread>);

namespace
{
// Polls a condition for up to ten seconds; a test that needs longer has hung.
template <typename Condition> bool Eventually(Condition condition)
{
    for (int i = 0; i < 10000; i++)
    {
        if (condition())
            return true;
        ::Sleep(1);
    }
    return condition();
}

bool IsSignalled(HANDLE event)
{
    return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// A worker that counts passes of its stop and pause point, and updates a
// status text and counter under the display lock the way a backup run shows
// its progress.
struct Counter
{
    CWorkerThread worker;
    std::atomic<long> passes{0};
    std::atomic<int> endedBy{0}; // 1: WaitToContinue said stop
    long shownCount = 0;         // display fields, under the lock
    CString shownText;

    static unsigned __stdcall Run(void* parameter)
    {
        Counter* self = static_cast<Counter*>(parameter);
        while (self->worker.WaitToContinue())
        {
            const long n = ++self->passes;
            CLockGuard guard(self->worker.GetDisplayLock());
            self->shownCount = n;
            self->shownText.Format("file %ld", n);
        }
        self->endedBy = 1;
        return 0;
    }
};

// Waits until the count has stood still for a while, so a pass that was past
// its wait when the pause came has finished.
long SettledCount(const std::atomic<long>& passes)
{
    long last = passes.load();
    for (;;)
    {
        ::Sleep(100);
        const long now = passes.load();
        if (now == last)
            return now;
        last = now;
    }
}
} // namespace

TEST(ThreadTest, StartRunsTheProcedureWithItsParameterAndTheFlagAlreadySet)
{
    // The procedure reads the running flag first thing: a start that sets it
    // only after the thread runs would let some of these see 0.
    struct Probe
    {
        CWorkerThread* worker;
        std::atomic<int> sawRunning{-1};
        std::atomic<bool> release{false};
        static unsigned __stdcall Run(void* parameter)
        {
            Probe* self = static_cast<Probe*>(parameter);
            self->sawRunning = self->worker->IsRunning() ? 1 : 0;
            while (!self->release)
                ::Sleep(1);
            return 7;
        }
    };
    for (int i = 0; i < 50; i++)
    {
        CWorkerThread worker;
        Probe probe;
        probe.worker = &worker;
        ASSERT_TRUE(worker.Start(Probe::Run, &probe));
        EXPECT_TRUE(worker.IsRunning());
        ASSERT_NE(worker.GetThreadHandle(), nullptr);
        EXPECT_NE(worker.GetThreadId(), 0u);
        ASSERT_TRUE(Eventually([&] { return probe.sawRunning.load() != -1; }));
        EXPECT_EQ(probe.sawRunning.load(), 1) << "start " << i;
        probe.release = true;
        HANDLE thread = worker.GetThreadHandle();
        ASSERT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        ::GetExitCodeThread(thread, &code);
        EXPECT_EQ(code, 7u);
        worker.StopIfRunning();
        EXPECT_EQ(worker.GetThreadHandle(), nullptr);
        EXPECT_FALSE(worker.IsRunning());
    }
}

TEST(ThreadTest, EventsAreManualResetStopClearRunSet)
{
    CWorkerThread worker;
    EXPECT_EQ(worker.GetStopEvent(), nullptr);
    EXPECT_EQ(worker.GetRunEvent(), nullptr);
    ASSERT_TRUE(worker.CreateEvents());
    HANDLE stop = worker.GetStopEvent();
    HANDLE run = worker.GetRunEvent();
    ASSERT_NE(stop, nullptr);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(worker.GetWaitPair()[0], stop);
    EXPECT_EQ(worker.GetWaitPair()[1], run);
    EXPECT_FALSE(IsSignalled(stop));
    EXPECT_TRUE(IsSignalled(run));
    EXPECT_TRUE(IsSignalled(run)) << "a wait does not reset it";

    // A second call keeps the events it has.
    ASSERT_TRUE(worker.CreateEvents());
    EXPECT_EQ(worker.GetStopEvent(), stop);
    EXPECT_EQ(worker.GetRunEvent(), run);

    // With both set, the stop event answers the pair.
    ::SetEvent(stop);
    EXPECT_EQ(::WaitForMultipleObjects(2, worker.GetWaitPair(), FALSE, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(worker.WaitToContinue());
    EXPECT_TRUE(worker.IsStopRequested());
    ::ResetEvent(stop);
    EXPECT_TRUE(worker.WaitToContinue());
    EXPECT_FALSE(worker.IsStopRequested());
}

TEST(ThreadTest, PauseHoldsTheWorkerAndResumeLetsItGoOn)
{
    Counter counter;
    ASSERT_TRUE(counter.worker.Start(Counter::Run, &counter));
    ASSERT_TRUE(Eventually([&] { return counter.passes.load() > 1000; }));

    ASSERT_TRUE(counter.worker.Pause());
    EXPECT_TRUE(counter.worker.IsPaused());
    const long held = SettledCount(counter.passes);
    ::Sleep(300);
    EXPECT_EQ(counter.passes.load(), held) << "no progress while paused";
    // The worker's own display updates went on under the lock, not through
    // the run event: the pause is still in force.
    EXPECT_FALSE(IsSignalled(counter.worker.GetRunEvent()));
    EXPECT_TRUE(counter.worker.IsPaused());
    {
        CLockGuard guard(counter.worker.GetDisplayLock());
        EXPECT_EQ(counter.shownCount, held);
        EXPECT_EQ(std::string(counter.shownText), "file " + std::to_string(held));
    }

    ASSERT_TRUE(counter.worker.Resume());
    EXPECT_FALSE(counter.worker.IsPaused());
    EXPECT_TRUE(Eventually([&] { return counter.passes.load() > held + 1000; }));

    counter.worker.StopIfRunning();
    EXPECT_EQ(counter.endedBy.load(), 1);
}

TEST(ThreadTest, DisplayFieldsReadUnderTheLockAreAlwaysConsistent)
{
    Counter counter;
    ASSERT_TRUE(counter.worker.Start(Counter::Run, &counter));
    // Read while the worker writes, until many different values were seen.
    int changes = 0;
    long last = 0;
    const ULONGLONG start = ::GetTickCount64();
    while (changes < 2000 && ::GetTickCount64() - start < 10000)
    {
        CLockGuard guard(counter.worker.GetDisplayLock());
        if (counter.shownCount == last)
            continue;
        last = counter.shownCount;
        changes++;
        char expected[32];
        wsprintfA(expected, "file %ld", counter.shownCount);
        ASSERT_STREQ(counter.shownText, expected);
    }
    EXPECT_EQ(changes, 2000);
    counter.worker.Stop();
}

TEST(ThreadTest, StopDuringPauseEndsTheRun)
{
    Counter counter;
    ASSERT_TRUE(counter.worker.Start(Counter::Run, &counter));
    ASSERT_TRUE(Eventually([&] { return counter.passes.load() > 100; }));
    ASSERT_TRUE(counter.worker.Pause());
    SettledCount(counter.passes);

    HANDLE stop = counter.worker.GetStopEvent();
    counter.worker.Stop();
    EXPECT_EQ(counter.endedBy.load(), 1) << "the stop event released the paused wait";
    EXPECT_EQ(counter.worker.GetThreadHandle(), nullptr);
    EXPECT_FALSE(IsSignalled(stop)) << "reset so that the object can start again";
    EXPECT_TRUE(counter.worker.IsRunning()) << "Stop leaves the running flag";
    EXPECT_FALSE(counter.worker.IsPaused());

    // The next run starts unpaused even though the last was stopped paused.
    counter.endedBy = 0;
    const long before = counter.passes.load();
    ASSERT_TRUE(counter.worker.Start(Counter::Run, &counter));
    EXPECT_EQ(counter.worker.GetStopEvent(), stop) << "the events are kept across starts";
    EXPECT_TRUE(Eventually([&] { return counter.passes.load() > before + 100; }));
    counter.worker.StopIfRunning();
    EXPECT_FALSE(counter.worker.IsRunning());
}

TEST(ThreadTest, StopEndsAWaitOfTheWorkersOwn)
{
    struct Sleeper
    {
        CWorkerThread worker;
        std::atomic<int> waiting{0};
        std::atomic<int> interrupted{-1};
        static unsigned __stdcall Run(void* parameter)
        {
            Sleeper* self = static_cast<Sleeper*>(parameter);
            self->waiting = 1;
            // A retry pause of ten minutes; only the stop can end it early.
            self->interrupted = self->worker.IsStopRequested(600000) ? 1 : 0;
            return 0;
        }
    } sleeper;
    ASSERT_TRUE(sleeper.worker.Start(Sleeper::Run, &sleeper));
    ASSERT_TRUE(Eventually([&] { return sleeper.waiting.load() == 1; }));
    sleeper.worker.StopIfRunning();
    EXPECT_EQ(sleeper.interrupted.load(), 1);
    EXPECT_FALSE(sleeper.worker.IsRunning());
}

TEST(ThreadTest, DestroyingARunningWorkerWaitsForItsThread)
{
    struct Job
    {
        CWorkerThread* worker;
        std::atomic<int> finished{0};
        static unsigned __stdcall Run(void* parameter)
        {
            Job* self = static_cast<Job*>(parameter);
            while (self->worker->WaitToContinue())
                ::Sleep(1);
            // Work after the stop that the destructor must still wait for.
            ::Sleep(200);
            self->finished = 1;
            return 0;
        }
    } job;
    CWorkerThread* worker = new CWorkerThread();
    job.worker = worker;
    ASSERT_TRUE(worker->Start(Job::Run, &job));
    // Paused as well: the destructor's stop must release that wait too.
    ASSERT_TRUE(worker->Pause());
    delete worker;
    EXPECT_EQ(job.finished.load(), 1);
}

TEST(ThreadTest, IdleStopsDoNothingAndABusyWorkerRefusesASecondStart)
{
    CWorkerThread idle;
    idle.Stop();
    idle.StopIfRunning();
    EXPECT_TRUE(idle.StopWithin(0));
    EXPECT_FALSE(idle.Pause()) << "nothing to pause before a start";
    EXPECT_FALSE(idle.IsRunning());
    EXPECT_TRUE(idle.HasEnded());
    EXPECT_FALSE(idle.HasEnteredProcedure());

    Counter counter;
    ASSERT_TRUE(counter.worker.Start(Counter::Run, &counter));
    HANDLE first = counter.worker.GetThreadHandle();
    EXPECT_TRUE(Eventually([&] { return counter.worker.HasEnteredProcedure(); }));
    EXPECT_FALSE(counter.worker.Start(Counter::Run, &counter));
    EXPECT_FALSE(counter.worker.HasEnteredProcedure()) << "the refused start began nothing";
    EXPECT_EQ(counter.worker.GetThreadHandle(), first) << "the running thread is kept";
    EXPECT_FALSE(counter.worker.HasEnded());

    // A thread that ended without being collected is closed by the next start.
    ::SetEvent(counter.worker.GetStopEvent());
    ASSERT_EQ(::WaitForSingleObject(first, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(counter.worker.HasEnded());
    ASSERT_TRUE(counter.worker.Start(Counter::Run, &counter));
    EXPECT_NE(counter.worker.GetThreadHandle(), nullptr);
    EXPECT_FALSE(IsSignalled(counter.worker.GetStopEvent()));
    counter.worker.StopIfRunning();
}

TEST(ThreadTest, ProceduresThatEndAtOnceGiveConsistentResults)
{
    static std::atomic<int> ran{0};
    struct Quick
    {
        static unsigned __stdcall Run(void*)
        {
            ++ran;
            return 0;
        }
    };
    CWorkerThread worker;
    int started = 0;
    for (int i = 0; i < 200; i++)
    {
        if (worker.Start(Quick::Run, nullptr))
        {
            started++;
            EXPECT_NE(worker.GetThreadHandle(), nullptr);
            EXPECT_TRUE(worker.IsRunning());
        }
        else
        {
            EXPECT_EQ(worker.GetThreadHandle(), nullptr) << "an ended thread is not held";
            EXPECT_FALSE(worker.IsRunning());
            // Its procedure ran to its end: the owner counts it as a run.
            EXPECT_TRUE(worker.HasEnteredProcedure());
        }
        worker.StopIfRunning();
        worker.Stop();
        EXPECT_EQ(worker.GetThreadHandle(), nullptr);
    }
    // Each start ran its procedure, whatever Start said about it.
    EXPECT_TRUE(Eventually([&] { return ran.load() == 200; }));
    EXPECT_LE(started, 200);
}

namespace
{
LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcA(window, message, wParam, lParam);
}

struct Sender
{
    CWorkerThread worker;
    HWND window = nullptr;
    std::atomic<int> sending{0};
    static unsigned __stdcall Run(void* parameter)
    {
        Sender* self = static_cast<Sender*>(parameter);
        while (self->worker.WaitToContinue())
        {
            self->sending = 1;
            // Blocks until the window's thread handles the message.
            ::SendMessageA(self->window, WM_SETTEXT, 0,
                           reinterpret_cast<LPARAM>("set by the worker"));
        }
        return 0;
    }
};
} // namespace

TEST(ThreadTest, StoppingFromTheWindowThreadHandlesTheWorkersSentMessages)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "BrindlewoxThreadTestWindow";
    ASSERT_NE(::RegisterClassA(&windowClass), 0);
    Sender sender;
    sender.window = ::CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 10, 10,
                                      HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(sender.window, nullptr);

    ASSERT_TRUE(sender.worker.Start(Sender::Run, &sender));
    // This thread runs no message loop: the worker is stuck in SendMessage
    // until the stop handles the message. A join that only waited would
    // never return.
    ASSERT_TRUE(Eventually([&] { return sender.sending.load() == 1; }));
    ::Sleep(50);
    sender.worker.StopIfRunning();
    EXPECT_EQ(sender.worker.GetThreadHandle(), nullptr);

    char text[64] = {};
    ::GetWindowTextA(sender.window, text, sizeof text);
    EXPECT_STREQ(text, "set by the worker");
    ::DestroyWindow(sender.window);
}

TEST(ThreadTest, StopWithinGivesUpOnABusyWorkerAndCollectsItLater)
{
    struct Busy
    {
        CWorkerThread worker;
        std::atomic<bool> release{false};
        std::atomic<int> sawStop{0};
        static unsigned __stdcall Run(void* parameter)
        {
            Busy* self = static_cast<Busy*>(parameter);
            // A piece of work that does not look at the events.
            while (!self->release)
                ::Sleep(1);
            self->sawStop = self->worker.IsStopRequested() ? 1 : 0;
            return 0;
        }
    } busy;
    ASSERT_TRUE(busy.worker.Start(Busy::Run, &busy));
    EXPECT_FALSE(busy.worker.StopWithin(0));
    EXPECT_FALSE(busy.worker.StopWithin(50));
    EXPECT_NE(busy.worker.GetThreadHandle(), nullptr) << "still held for a later call";
    EXPECT_TRUE(busy.worker.IsRunning());
    EXPECT_TRUE(IsSignalled(busy.worker.GetStopEvent())) << "the stop stays asked for";

    busy.release = true;
    EXPECT_TRUE(busy.worker.StopWithin(INFINITE));
    EXPECT_EQ(busy.sawStop.load(), 1);
    EXPECT_EQ(busy.worker.GetThreadHandle(), nullptr);
    EXPECT_FALSE(busy.worker.IsRunning());
    EXPECT_FALSE(IsSignalled(busy.worker.GetStopEvent()));
}

namespace
{
std::string g_reported;
void RecordReport(const char* text)
{
    g_reported += text;
}
} // namespace

TEST(ThreadTest, AnExceptionLeavingTheProcedureIsCaughtAndReported)
{
    struct Thrower
    {
        std::atomic<int> reached{0};
        static unsigned __stdcall Run(void* parameter)
        {
            Thrower* self = static_cast<Thrower*>(parameter);
            while (self->reached.load() == 0)
                ::Sleep(1);
            throw CFileException(5, CString("the folder is locked"));
        }
    } thrower;
    SetExceptionReporter(RecordReport);
    CWorkerThread worker;
    ASSERT_TRUE(worker.Start(Thrower::Run, &thrower));
    HANDLE thread = worker.GetThreadHandle();
    thrower.reached = 1;
    ASSERT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, static_cast<DWORD>(kWorkerExceptionExitCode));
    worker.StopIfRunning();
    SetExceptionReporter(nullptr);
    EXPECT_NE(g_reported.find("code 5"), std::string::npos) << g_reported;
    EXPECT_NE(g_reported.find("the folder is locked"), std::string::npos) << g_reported;
}

namespace
{
std::atomic<int> g_socketExceptionsAlive{0};
// A thrown socket error that counts its own life.
class CCountedSocketException : public CTcpSocketException
{
public:
    CCountedSocketException() : CTcpSocketException(WSAETIMEDOUT) { ++g_socketExceptionsAlive; }
    ~CCountedSocketException() override { --g_socketExceptionsAlive; }
};
} // namespace

// Socket errors are thrown as pointers: the worker's entry reports the
// error's own text and deletes the object.
TEST(ThreadTest, AThrownExceptionPointerIsReportedAndDeleted)
{
    g_reported.clear();
    SetExceptionReporter(RecordReport);
    CWorkerThread worker;
    ASSERT_TRUE(worker.Start([](void*) -> unsigned { throw new CCountedSocketException(); },
                             nullptr));
    ASSERT_EQ(::WaitForSingleObject(worker.GetThreadHandle(), 10000), WAIT_OBJECT_0);
    worker.StopIfRunning();
    SetExceptionReporter(nullptr);
    EXPECT_EQ(g_socketExceptionsAlive.load(), 0);
    char code[32];
    wsprintfA(code, "socket error %lu", static_cast<unsigned long>(WSAETIMEDOUT));
    EXPECT_NE(g_reported.find(code), std::string::npos) << g_reported;
    EXPECT_EQ(g_reported.find("unknown exception"), std::string::npos) << g_reported;
}

TEST(ThreadTest, AttachTakesAThreadBegunElsewhere)
{
    struct Plain
    {
        static unsigned __stdcall Run(void* parameter)
        {
            CWorkerThread* worker = static_cast<CWorkerThread*>(parameter);
            return worker->WaitToContinue() ? 1 : 0;
        }
    };
    CWorkerThread worker;
    ASSERT_TRUE(worker.CreateEvents());
    EXPECT_FALSE(worker.Pause()) << "not running yet";
    // Held at its first wait, so only the stop can end it.
    ::ResetEvent(worker.GetRunEvent());
    unsigned id = 0;
    HANDLE thread =
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, Plain::Run, &worker, 0, &id));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(worker.Attach(thread, id));
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_EQ(worker.GetThreadId(), id);
    EXPECT_FALSE(worker.Attach(thread, id)) << "one thread at a time";

    HANDLE copy = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread, ::GetCurrentProcess(), &copy, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    worker.StopIfRunning();
    DWORD code = 99;
    ::GetExitCodeThread(copy, &code);
    EXPECT_EQ(code, 0u) << "released by the stop, not by the run event";
    ::CloseHandle(copy);

    // Detach hands the thread back without waiting for it or closing it.
    thread = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, Plain::Run, &worker, 0, &id));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(worker.Attach(thread, id));
    EXPECT_EQ(worker.Detach(), thread);
    EXPECT_EQ(worker.GetThreadHandle(), nullptr);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "the run event is set";
    ::CloseHandle(thread);
}
