#include "foundation/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>
#include <vector>

static_assert(!std::is_copy_constructible_v<CCriticalSection>);
static_assert(!std::is_copy_constructible_v<CEvent>);
static_assert(!std::is_copy_assignable_v<CEvent>);
static_assert(!std::is_copy_constructible_v<CLockGuard>);

namespace
{
bool IsOpenHandle(HANDLE handle)
{
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}
} // namespace

TEST(SyncTest, CriticalSectionKeepsCountersExact)
{
    CCriticalSection section;
    long counter = 0;
    const int perThread = 250000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
    {
        threads.emplace_back(
            [&]
            {
                for (int i = 0; i < perThread; i++)
                {
                    CLockGuard guard(section);
                    counter = counter + 1;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 4L * perThread);
    // The base handle of a critical section stays null.
    EXPECT_EQ(section.GetHandle(), nullptr);
}

TEST(SyncTest, CriticalSectionTimedLockEntersOrGivesUp)
{
    CCriticalSection section;
    // The owner may enter again: a critical section counts its entries.
    ASSERT_TRUE(section.Lock(0));
    EXPECT_TRUE(section.Lock(0));
    section.Unlock();

    std::atomic<int> tried{0};
    BOOL withZero = TRUE;
    BOOL withWait = TRUE;
    std::thread other(
        [&]
        {
            withZero = section.Lock(0);
            withWait = section.Lock(30);
            tried = 1;
        });
    other.join();
    EXPECT_EQ(tried.load(), 1);
    EXPECT_FALSE(withZero);
    EXPECT_FALSE(withWait);
    section.Unlock();

    // Released: another thread enters at once, and the lock is really held
    // (this thread cannot enter until that thread leaves).
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::thread holder(
        [&]
        {
            entered = section.Lock(INFINITE) != FALSE;
            while (!release)
                ::Sleep(1);
            section.Unlock();
        });
    while (!entered)
        ::Sleep(1);
    EXPECT_FALSE(section.Lock(0));
    release = true;
    holder.join();
    EXPECT_TRUE(section.Lock(1000));
    section.Unlock();
}

TEST(SyncTest, EventWaitsOnItsHandleAndLockDoesNothing)
{
    CEvent event;
    EXPECT_FALSE(event.Lock(0)) << "no handle yet";
    event.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_NE(event.GetHandle(), nullptr);

    EXPECT_FALSE(event.Lock(0));
    EXPECT_TRUE(event.Lock());
    EXPECT_TRUE(event.Unlock());
    EXPECT_FALSE(event.Lock(0)) << "Lock() and Unlock() leave the event alone";

    ::SetEvent(event.GetHandle());
    EXPECT_TRUE(event.Lock(0));
    EXPECT_TRUE(event.Lock(0)) << "manual reset: a wait does not clear it";
    ::ResetEvent(event.GetHandle());
    EXPECT_FALSE(event.Lock(10));
}

TEST(SyncTest, SyncObjectOwnsOneHandle)
{
    HANDLE first = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE kept;
    {
        CEvent event;
        event.Attach(first);
        event.Attach(second);
        EXPECT_FALSE(IsOpenHandle(first)) << "attaching closes the handle held before";
        EXPECT_EQ(event.Detach(), second);
        EXPECT_EQ(event.GetHandle(), nullptr);
        EXPECT_TRUE(IsOpenHandle(second)) << "detaching does not close";
        kept = second;
        event.Attach(second);
    }
    EXPECT_FALSE(IsOpenHandle(kept)) << "the destructor closes";
}
