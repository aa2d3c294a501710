#include "app/BoundControls.h"

CWindow* CBoundControls::Find(HWND parent, UINT id) const
{
    if (parent == nullptr)
        return nullptr;
    HWND item = GetDlgItem(parent, static_cast<int>(id));
    if (item == nullptr)
        return nullptr;
    for (const auto& object : m_objects)
    {
        if (object->GetHwnd() == item)
            return object.get();
    }
    return nullptr;
}
