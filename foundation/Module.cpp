#include "foundation/Module.h"

#include "foundation/Exception.h"

#include <new>

namespace
{
ModuleState* g_moduleState = nullptr;

// Raises CMemoryException when the allocator runs dry. The message is built
// in a block set aside at start-up: reporting a shortage of memory must not
// itself need memory.
alignas(CMemoryException) unsigned char g_reserve[sizeof(CMemoryException)];
CMemoryException* g_prototype = nullptr;

void OnAllocationFailure()
{
    if (g_prototype != nullptr)
        throw CMemoryException(*g_prototype);
    throw std::bad_alloc();
}
} // namespace

ModuleState* GetModuleState()
{
    if (g_moduleState == nullptr)
    {
        g_moduleState = new ModuleState();
        CString text;
        text.FormatErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
        g_prototype = new (g_reserve) CMemoryException(ERROR_NOT_ENOUGH_MEMORY, text);
        std::set_new_handler(OnAllocationFailure);
    }
    return g_moduleState;
}

HINSTANCE ModuleState::GetInstanceHandle()
{
    if (m_hInstance == nullptr)
        m_hInstance = GetModuleHandleA(nullptr);
    return m_hInstance;
}

HINSTANCE ModuleState::GetResourceHandle()
{
    if (m_hResource == nullptr)
        m_hResource = GetInstanceHandle();
    return m_hResource;
}
