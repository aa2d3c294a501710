// CBoundControls: the objects of the skinned control classes bound to the
// dialog items of a window and its pages, owned in the order they were
// bound and found again by the item they stand for.
#ifndef BRINDLEWOX_APP_BOUNDCONTROLS_H
#define BRINDLEWOX_APP_BOUNDCONTROLS_H

#include "foundation/Base.h"
#include "foundation/Window.h"

#include <memory>
#include <vector>

class CBoundControls
{
public:
    CBoundControls() = default;
    CBoundControls(const CBoundControls&) = delete;
    CBoundControls& operator=(const CBoundControls&) = delete;

    // A new object of class T for item `id` of the dialog `parent`,
    // subclassed with its frame updated or attached; an item the dialog
    // does not hold leaves the object unbound. The object is kept either way.
    template <class T> T& Bind(HWND parent, UINT id, bool updateFrame)
    {
        auto object = std::make_unique<T>();
        T& bound = *object;
        if (HWND item = parent != nullptr ? GetDlgItem(parent, static_cast<int>(id)) : nullptr)
        {
            if (updateFrame)
                bound.SubclassAndUpdateFrame(item);
            else
                bound.Attach(item, false);
        }
        m_objects.push_back(std::move(object));
        return bound;
    }

    // The object bound to item `id` of `parent`; null when there is none.
    CWindow* Find(HWND parent, UINT id) const;

private:
    std::vector<std::unique_ptr<CWindow>> m_objects;
};

#endif
