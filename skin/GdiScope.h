// Owners and guards for the short-lived GDI objects of the picture code: a
// memory device context, a GDI object (bitmap, region) and one selection.
// Each owner holds one handle, cannot be copied and closes it when destroyed.
#ifndef BRINDLEWOX_SKIN_GDISCOPE_H
#define BRINDLEWOX_SKIN_GDISCOPE_H

#include "foundation/Base.h"

// A memory device context compatible with another (or with the screen).
class ScopedMemoryDC
{
public:
    explicit ScopedMemoryDC(HDC compatible) : m_dc(::CreateCompatibleDC(compatible)) {}
    ScopedMemoryDC(const ScopedMemoryDC&) = delete;
    ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
    ~ScopedMemoryDC() { Close(); }

    HDC Get() const { return m_dc; }
    void Attach(HDC dc)
    {
        Close();
        m_dc = dc;
    }
    HDC Detach()
    {
        HDC dc = m_dc;
        m_dc = nullptr;
        return dc;
    }

private:
    void Close()
    {
        if (m_dc != nullptr)
            ::DeleteDC(m_dc);
        m_dc = nullptr;
    }
    HDC m_dc;
};

// A bitmap, region, brush or pen, deleted with DeleteObject.
template <class T> class ScopedGdiObject
{
public:
    explicit ScopedGdiObject(T object = nullptr) : m_object(object) {}
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
    ~ScopedGdiObject() { Close(); }

    T Get() const { return m_object; }
    void Attach(T object)
    {
        Close();
        m_object = object;
    }
    T Detach()
    {
        T object = m_object;
        m_object = nullptr;
        return object;
    }

private:
    void Close()
    {
        if (m_object != nullptr)
            ::DeleteObject(m_object);
        m_object = nullptr;
    }
    T m_object;
};

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
