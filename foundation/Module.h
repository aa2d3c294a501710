// ModuleState: the framework's application object, one per process, made on
// first use. It holds the instance and resource handles and installs the
// allocation-failure handler that raises CMemoryException.
#ifndef BRINDLEWOX_FOUNDATION_MODULE_H
#define BRINDLEWOX_FOUNDATION_MODULE_H

#include "foundation/Base.h"

class ModuleState
{
public:
    // The instance handle; the running program's module until Init sets it.
    HINSTANCE GetInstanceHandle();
    // The module string and other resources are loaded from; the instance
    // handle until set otherwise.
    HINSTANCE GetResourceHandle();
    void SetResourceHandle(HINSTANCE module) { m_hResource = module; }

private:
    friend ModuleState* GetModuleState();
    ModuleState() = default;

    HINSTANCE m_hInstance = nullptr;
    HINSTANCE m_hResource = nullptr;
};

// The process's module state, created on first use (on the main thread,
// before any worker starts: there is no lock).
ModuleState* GetModuleState();

#endif
