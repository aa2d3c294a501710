// Owners and guards for the short-lived GDI objects of the picture code: a
// memory device context, a GDI object (bitmap, region) and one selection.
// Each owner holds one handle, cannot be copied and closes it when destroyed.
#ifndef BRINDLEWOX_SKIN_GDISCOPE_H
#define BRINDLEWOX_SKIN_GDISCOPE_H

#include "foundation/Base.h"

// One owned GDI handle, closed by Traits::Close when the owner goes.
template <class T, class Traits> class ScopedGdiHandle
{
public:
    explicit ScopedGdiHandle(T handle = nullptr) : m_handle(handle) {}
    ScopedGdiHandle(const ScopedGdiHandle&) = delete;
    ScopedGdiHandle& operator=(const ScopedGdiHandle&) = delete;
    ~ScopedGdiHandle() { Close(); }

    T Get() const { return m_handle; }
    void Attach(T handle)
    {
        Close();
        m_handle = handle;
    }
    T Detach()
    {
        T handle = m_handle;
        m_handle = nullptr;
        return handle;
    }

private:
    void Close()
    {
        if (m_handle != nullptr)
            Traits::Close(m_handle);
        m_handle = nullptr;
    }
    T m_handle;
};

struct DeleteDcTraits
{
    static void Close(HDC dc) { ::DeleteDC(dc); }
};
struct DeleteObjectTraits
{
    static void Close(HGDIOBJ object) { ::DeleteObject(object); }
};

// A memory device context compatible with another (or with the screen).
class ScopedMemoryDC : public ScopedGdiHandle<HDC, DeleteDcTraits>
{
public:
    explicit ScopedMemoryDC(HDC compatible) : ScopedGdiHandle(::CreateCompatibleDC(compatible)) {}
};

// A bitmap, region, brush or pen, deleted with DeleteObject.
template <class T> using ScopedGdiObject = ScopedGdiHandle<T, DeleteObjectTraits>;

// Selects an object into a device context and selects the previous one back
// when the scope ends. It owns neither.
class ScopedSelect
{
public:
    ScopedSelect(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(::SelectObject(dc, object)) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect()
    {
        if (m_old != nullptr && m_old != HGDI_ERROR)
            ::SelectObject(m_dc, m_old);
    }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

#endif
