// Synchronisation objects: a waitable kernel handle (CSyncObject), a critical
// section behind the same interface (CCriticalSection) and a manual-reset
// event (CEvent), plus CLockGuard, the scope guard every lock goes through.
#ifndef BRINDLEWOX_FOUNDATION_SYNC_H
#define BRINDLEWOX_FOUNDATION_SYNC_H

#include "foundation/Base.h"

// One owned kernel handle (null when there is none), closed by the
// destructor. Virtual slots in order: destructor, Lock(time-out), Lock(),
// Unlock().
class CSyncObject
{
public:
    CSyncObject() = default;
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;
    virtual ~CSyncObject();

    // Waits on the handle; true exactly when the wait returns WAIT_OBJECT_0
    // (a null handle, a time-out or an abandoned wait give false).
    virtual BOOL Lock(DWORD timeout);
    virtual BOOL Lock() = 0;
    virtual BOOL Unlock() = 0;

    HANDLE GetHandle() const { return m_hObject; }
    // Takes ownership of a handle; one held before is closed.
    void Attach(HANDLE handle);
    // Gives up ownership without closing.
    HANDLE Detach();

protected:
    HANDLE m_hObject = nullptr;
};

// A critical section; the base's handle stays null. Entered and left by the
// same thread.
class CCriticalSection : public CSyncObject
{
public:
    CCriticalSection();
    ~CCriticalSection() override;

    // Enters within the time-out (INFINITE waits, 0 only tries); true when
    // entered. The base's wait on a null handle would fail without entering,
    // and a caller that then called Unlock would leave a section it does not
    // own, so the critical section answers this slot itself.
    BOOL Lock(DWORD timeout) override;
    // EnterCriticalSection; always TRUE.
    BOOL Lock() override;
    // LeaveCriticalSection; always TRUE.
    BOOL Unlock() override;

private:
    CRITICAL_SECTION m_section;
};

// A manual-reset event made by its owner (CWorkerThread::CreateEvents) and
// attached here; the destructor closes it. Lock() and Unlock() do nothing:
// the event is set and reset on its handle with SetEvent and ResetEvent.
class CEvent : public CSyncObject
{
public:
    CEvent() = default;
    using CSyncObject::Lock;
    BOOL Lock() override { return TRUE; }
    BOOL Unlock() override { return TRUE; }
};

// Holds a lock for one scope: Lock() on construction, Unlock() on
// destruction.
class CLockGuard
{
public:
    explicit CLockGuard(CSyncObject& object) : m_object(object) { m_object.Lock(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;
    ~CLockGuard() { m_object.Unlock(); }

private:
    CSyncObject& m_object;
};

#endif
