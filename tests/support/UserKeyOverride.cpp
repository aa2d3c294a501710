#include "tests/support/UserKeyOverride.h"

UserKeyOverride::UserKeyOverride(const char* tag)
    : m_path(std::string("Software\\BrindlewoxTest-") + tag + "-" +
             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()))
{
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &m_key, nullptr) == ERROR_SUCCESS)
        m_active = RegOverridePredefKey(HKEY_CURRENT_USER, m_key) == ERROR_SUCCESS;
}

UserKeyOverride::~UserKeyOverride()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (m_key != nullptr)
        RegCloseKey(m_key);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
}
