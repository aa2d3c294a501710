#include "service/PipeSecurity.h"

#include "engine/Settings.h"
#include "service/ServiceLog.h"

#include <sddl.h>

#include <vector>

CSecurityDescriptor::~CSecurityDescriptor()
{
    if (m_descriptor != nullptr)
        ::LocalFree(m_descriptor);
}

bool CSecurityDescriptor::FromText(const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
    {
        const DWORD error = ::GetLastError();
        Attach(nullptr);
        ::SetLastError(error);
        return false;
    }
    Attach(descriptor);
    return true;
}

SECURITY_ATTRIBUTES* CSecurityDescriptor::GetAttributes()
{
    if (m_descriptor == nullptr)
        return nullptr;
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
    return &m_attributes;
}

void CSecurityDescriptor::Attach(PSECURITY_DESCRIPTOR descriptor)
{
    if (m_descriptor != nullptr && m_descriptor != descriptor)
        ::LocalFree(m_descriptor);
    m_descriptor = descriptor;
}

PSECURITY_DESCRIPTOR CSecurityDescriptor::Detach()
{
    PSECURITY_DESCRIPTOR descriptor = m_descriptor;
    m_descriptor = nullptr;
    return descriptor;
}

bool ReadTokenIdentity(HANDLE token, PipeClientIdentity& identity)
{
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return false;
    std::vector<BYTE> user(size);
    if (!::GetTokenInformation(token, TokenUser, user.data(), size, &size))
        return false;
    char text[256];
    if (FormatSidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, text, sizeof text) < 0)
        return false;

    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof administrators;
    BOOL member = FALSE;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize) ||
        !::CheckTokenMembership(token, administrators, &member))
    {
        return false;
    }
    identity.sid = text;
    identity.administrator = member != FALSE;
    identity.known = true;
    return true;
}

ClientLookup ReadPipeClientIdentity(HANDLE pipe, PipeClientIdentity& identity)
{
    if (!::ImpersonateNamedPipeClient(pipe))
    {
        ServiceLog("the pipe client cannot be impersonated (error %lu)", ::GetLastError());
        return ClientLookup::Unknown;
    }
    // OpenAsSelf: the token is opened with the service's own rights, not the
    // client's (who may not be allowed to read his own thread's token).
    HANDLE token = nullptr;
    bool read = false;
    if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token))
    {
        read = ReadTokenIdentity(token, identity);
        ::CloseHandle(token);
    }
    const DWORD error = read ? NO_ERROR : ::GetLastError();
    if (!::RevertToSelf())
    {
        ServiceLog("RevertToSelf failed (error %lu): the server stops serving", ::GetLastError());
        return ClientLookup::StillImpersonating;
    }
    if (!read)
    {
        ServiceLog("the pipe client's token cannot be read (error %lu)", error);
        return ClientLookup::Unknown;
    }
    return ClientLookup::Known;
}
