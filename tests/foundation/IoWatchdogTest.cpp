#include "foundation/IoWatchdog.h"

#include "tests/support/StuckSource.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// A read that waits inside a step past the limit is cancelled, and every
// later step of its deadlines counts as cut off; a read of a thread whose
// deadlines hold no open step is left alone however long it waits, and a
// step without deadlines bounds nothing.
TEST(IoWatchdogTest, OnlyAStepPastItsLimitIsCutOff)
{
    constexpr DWORD kLimitMs = 300;
    CStuckPipe stepped;
    CStuckPipe unstepped;
    std::atomic<bool> steppedDone{false};
    std::atomic<bool> unsteppedDone{false};
    bool steppedRead = true;
    DWORD steppedError = 0;
    bool cutOff = false;
    bool laterCutOff = false;
    ULONGLONG tookMs = 0;
    std::thread quiet(
        [&]
        {
            CIoDeadlines deadlines(kLimitMs);
            {
                CIoStep step;
            }
            unstepped.Wait();
            unsteppedDone = true;
        });
    std::thread waiting(
        [&]
        {
            CIoDeadlines deadlines(kLimitMs);
            const ULONGLONG start = ::GetTickCount64();
            {
                CIoStep step;
                steppedRead = stepped.Wait();
                steppedError = ::GetLastError();
                cutOff = step.IsCutOff();
            }
            tookMs = ::GetTickCount64() - start;
            CIoStep later;
            laterCutOff = later.IsCutOff();
            steppedDone = true;
        });
    const bool ended = WaitUntil([&] { return steppedDone.load(); }, wait_bound::kAnswerMs);
    // The watchdog has looked at both threads past the limit by now.
    EXPECT_FALSE(unsteppedDone.load());
    stepped.LetGo();
    unstepped.LetGo();
    waiting.join();
    quiet.join();
    ASSERT_TRUE(ended) << "the step was never cut off";
    EXPECT_FALSE(steppedRead);
    EXPECT_EQ(steppedError, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_TRUE(cutOff && laterCutOff);
    EXPECT_GE(tookMs, kLimitMs);
    CIoStep free;
    EXPECT_FALSE(free.IsCutOff());
}
