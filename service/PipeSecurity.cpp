#include "service/PipeSecurity.h"

#include "engine/Settings.h"
#include "service/ServiceLog.h"

#include <sddl.h>

#include <vector>

CCallerScope::~CCallerScope()
{
    if (!m_active || m_caller.Revert())
        return;
    const DWORD error = ::GetLastError();
    if (::SetThreadToken(nullptr, nullptr))
    {
        ServiceLog("RevertToSelf failed (error %lu); the thread's token was dropped", error);
        return;
    }
    ServiceLog("the thread cannot stop acting as a client (errors %lu, %lu)", error,
               ::GetLastError());
    m_caller.m_stuck = true;
}

bool ReadTokenIdentity(HANDLE token, PipeClientIdentity& identity)
{
    std::vector<BYTE> user;
    if (!ReadTokenInformation(token, TokenUser, user))
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
    CAccessToken token;
    const bool read = token.OpenThread(TOKEN_QUERY) && ReadTokenIdentity(token.Get(), identity);
    token.Close();
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
