// The framework's growable arrays.
//
// CSimpleArray<T> holds plain elements (numbers, pointers, handles) that are
// moved and cleared as bytes; CArray<T> (on CCollector<T>) holds elements
// that are constructed and destroyed (strings, records). Both keep the same
// layout after the table pointer (size, capacity, grow-by, buffer) and grow
// by one rule:
//
//   step = grow-by when it is not 0, else size / 8 clamped to 4 .. 1,024;
//   new capacity = max(new size, capacity + step).
//
// So an array that grows one element at a time reallocates at capacities 4,
// 8, 12, ... up to 40, then by an eighth of its size, by at most 1,024 at a
// time. A grow-by given to SetSize (anything but -1) is kept for every later
// growth.
//
// Contract of SetSize for every array here:
// - returns false and changes nothing for a negative size or one whose
//   buffer could not be addressed;
// - the buffer comes from the global allocator, whose failure raises
//   CMemoryException (once the module state exists) before anything changes;
// - new elements are always zero (plain) or default-constructed (class): a
//   slot is never left as the allocator handed it out;
// - SetSize(0) destroys the elements and frees the buffer; that is also how
//   an array is emptied for reuse.
//
// Element access has no bounds check; iterate over 0 .. GetSize() - 1.
// Arrays own a raw buffer and are not copyable.
#ifndef BRINDLEWOX_FOUNDATION_ARRAY_H
#define BRINDLEWOX_FOUNDATION_ARRAY_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <cassert>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

namespace array_detail
{
// Element types that may be moved to a new buffer as bytes although they are
// not trivially copyable: they hold no pointer into themselves. A CString
// points at its shared block, never at itself.
template <class T> struct MovableAsBytes : std::is_trivially_copyable<T>
{
};
template <> struct MovableAsBytes<CString> : std::true_type
{
};

// The grow step of an array of `size` elements with the stored grow-by.
inline int GrowStep(int size, int growBy)
{
    if (growBy != 0)
        return growBy;
    int step = size / 8;
    if (step < 4)
        return 4;
    if (step > 1024)
        return 1024;
    return step;
}

// The capacity for growing from `capacity` to `n` elements, or -1 when the
// buffer would be larger than anything addressable.
inline int NewCapacity(int n, int capacity, int size, int growBy, size_t elementSize)
{
    long long wanted = static_cast<long long>(capacity) + GrowStep(size, growBy);
    if (wanted < n)
        wanted = n;
    if (wanted > INT_MAX)
        wanted = INT_MAX;
    if (static_cast<unsigned long long>(wanted) > PTRDIFF_MAX / elementSize)
    {
        // The clamped step alone may overshoot; the exact size may still fit.
        wanted = n;
        if (static_cast<unsigned long long>(wanted) > PTRDIFF_MAX / elementSize)
            return -1;
    }
    return static_cast<int>(wanted);
}

template <class T> void InitElements(T* first, int count)
{
    if (count <= 0)
        return;
    if constexpr (std::is_trivial_v<T>)
        std::memset(static_cast<void*>(first), 0, sizeof(T) * static_cast<size_t>(count));
    else
        std::uninitialized_value_construct_n(first, count);
}

template <class T> void DestroyElements(T* first, int count)
{
    if constexpr (!std::is_trivially_destructible_v<T>)
    {
        for (int i = 0; i < count; ++i)
            first[i].~T();
    }
}

// Moves `count` live elements from `from` into the raw buffer `to`. For
// element types that must be copied, a throwing copy leaves the old elements
// as they were (std::uninitialized_copy destroys what it built).
template <class T> void Relocate(T* from, int count, T* to)
{
    if (count <= 0)
        return;
    if constexpr (MovableAsBytes<T>::value)
    {
        std::memcpy(static_cast<void*>(to), static_cast<const void*>(from),
                    sizeof(T) * static_cast<size_t>(count));
    }
    else if constexpr (std::is_nothrow_move_constructible_v<T>)
    {
        std::uninitialized_move_n(from, count, to);
        DestroyElements(from, count);
    }
    else
    {
        std::uninitialized_copy_n(from, count, to);
        DestroyElements(from, count);
    }
}

// The storage shared by every array: size, capacity, grow-by and buffer, the
// one SetSize algorithm and element access. Not polymorphic itself: each
// array class puts its own table pointer in front.
template <class T> class Storage
{
public:
    Storage() = default;
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;
    ~Storage() { Free(); }

    int GetSize() const { return m_nSize; }
    int GetCapacity() const { return m_nMaxSize; }
    int GetGrowBy() const { return m_nGrowBy; }
    T* GetData() { return m_pData; }
    const T* GetData() const { return m_pData; }
    T& operator[](int index)
    {
        assert(index >= 0 && index < m_nSize);
        return m_pData[index];
    }
    const T& operator[](int index) const
    {
        assert(index >= 0 && index < m_nSize);
        return m_pData[index];
    }

protected:
    bool Resize(int n, int growBy)
    {
        if (growBy != -1)
            m_nGrowBy = growBy;
        if (n < 0)
            return false;
        if (n == 0)
        {
            Free();
            return true;
        }
        if (n > m_nMaxSize)
        {
            int capacity = NewCapacity(n, m_nMaxSize, m_nSize, m_nGrowBy, sizeof(T));
            if (capacity < 0)
                return false;
            T* data = static_cast<T*>(::operator new(sizeof(T) * static_cast<size_t>(capacity)));
            try
            {
                Relocate(m_pData, m_nSize, data);
            }
            catch (...)
            {
                ::operator delete(data);
                throw;
            }
            ::operator delete(m_pData);
            m_pData = data;
            m_nMaxSize = capacity;
            InitElements(m_pData + m_nSize, n - m_nSize);
        }
        else if (n > m_nSize)
        {
            InitElements(m_pData + m_nSize, n - m_nSize);
        }
        else
        {
            DestroyElements(m_pData + n, m_nSize - n);
        }
        m_nSize = n;
        return true;
    }

    // Stores a copy of the value in a new last slot. The copy is taken first:
    // the value may be an element of this array, whose buffer growth frees.
    int Append(const T& value)
    {
        T copy(value);
        int index = m_nSize;
        if (!Resize(index + 1, -1))
            return -1;
        m_pData[index] = copy;
        return index;
    }

    void Free()
    {
        DestroyElements(m_pData, m_nSize);
        ::operator delete(m_pData);
        m_pData = nullptr;
        m_nSize = 0;
        m_nMaxSize = 0;
    }

private:
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
    T* m_pData = nullptr;
};
} // namespace array_detail

// Plain elements: numbers, pointers, handles.
template <class T> class CSimpleArray : public array_detail::Storage<T>
{
    static_assert(std::is_trivially_copyable_v<T>, "CSimpleArray holds plain elements only");

public:
    CSimpleArray() = default;
    // Frees the buffer; pointed-to objects are the owner's to delete first.
    virtual ~CSimpleArray() = default;

    bool SetSize(int n, int growBy = -1) { return this->Resize(n, growBy); }
    // The new element's index, or -1 when the array could not grow.
    int Add(const T& value) { return this->Append(value); }
};

template <class T> class CCollector
{
public:
    virtual ~CCollector() = default;
};

// Constructed elements: strings and records. For pointer elements (button
// groups, monitor handles) it is the same array of 8-byte slots.
template <class T> class CArray : public CCollector<T>, public array_detail::Storage<T>
{
public:
    CArray() = default;
    // Destroys every live element and frees the buffer.
    ~CArray() override = default;

    // The third flag is kept for callers that pass it (`construct` for class
    // elements, `zero` for pointers) and changes nothing: new elements are
    // always default-constructed (a CString becomes empty) and new pointer
    // slots always zeroed, inside the capacity and beyond it. An element that
    // was never constructed could not be destroyed later, and a slot left as
    // allocated would hand its reader garbage.
    bool SetSize(int n, int growBy = -1, bool construct = true) { return this->Resize(n, growBy); }
    // Assigns a copy of the value into a new last slot: the new element's
    // index, or -1 when the array could not grow.
    int Add(const T& value) { return this->Append(value); }

    // Runs the destructor of each element of the range; frees nothing.
    static void DestructElements(T* elements, int count)
    {
        array_detail::DestroyElements(elements, count);
    }
};

// The string list of every subsystem.
class CStringArray : public CArray<CString>
{
};

#endif
