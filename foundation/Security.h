// Security descriptors and access tokens: the descriptor an object is made
// with or holds, the token of a thread or a process, what a token says of
// its groups and privileges, and the system's own access check.
//
// Under Wine every process runs as the one Unix user: descriptors and
// tokens work as calls (AccessCheck really weighs a descriptor against a
// token), but the objects themselves deny nothing, and every token is the
// same elevated administrator's. Callers test their policies with tokens
// and groups of their own making.
#ifndef BRINDLEWOX_FOUNDATION_SECURITY_H
#define BRINDLEWOX_FOUNDATION_SECURITY_H

#include "foundation/Base.h"

#include <aclapi.h>

#include <vector>

// One self-relative security descriptor, freed with LocalFree.
class CSecurityDescriptor
{
public:
    CSecurityDescriptor() = default;
    CSecurityDescriptor(const CSecurityDescriptor&) = delete;
    CSecurityDescriptor& operator=(const CSecurityDescriptor&) = delete;
    virtual ~CSecurityDescriptor();

    // Builds the descriptor from SDDL text; a held one is freed first. False
    // (the last error set, nothing held) when the text is refused.
    bool FromText(const char* sddl);
    // Reads the parts `what` of the descriptor an open object holds
    // (GetSecurityInfo; the handle needs READ_CONTROL). A held one is freed
    // first. False (the last error set, nothing held) on failure.
    bool FromObject(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION what);
    // Security attributes pointing at the descriptor, not inheritable. Valid
    // while this object holds it; null when it holds none.
    SECURITY_ATTRIBUTES* GetAttributes();

    PSECURITY_DESCRIPTOR Get() const { return m_descriptor; }
    // Takes ownership of a descriptor made by LocalAlloc; a held one is
    // freed first.
    void Attach(PSECURITY_DESCRIPTOR descriptor);
    // Gives up ownership; the caller frees it with LocalFree.
    PSECURITY_DESCRIPTOR Detach();

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes = {};
};

// One access token handle, closed with CloseHandle.
class CAccessToken
{
public:
    CAccessToken() = default;
    CAccessToken(const CAccessToken&) = delete;
    CAccessToken& operator=(const CAccessToken&) = delete;
    virtual ~CAccessToken();

    // The token of the calling thread, which must act as someone else
    // (impersonate); opened with the process's own rights, not the
    // impersonated user's (who may not be allowed to read his own thread's
    // token). False (last error set, nothing held) when the thread has no
    // token of its own or it cannot be opened.
    bool OpenThread(DWORD access);
    // The token of a process (the handle needs
    // PROCESS_QUERY_LIMITED_INFORMATION). False as OpenThread.
    bool OpenProcess(HANDLE process, DWORD access);
    // An impersonation copy of `token` (which needs TOKEN_DUPLICATE), such
    // as AccessCheck takes; a held token is closed first. False as
    // OpenThread.
    bool Duplicate(HANDLE token, DWORD access);

    HANDLE Get() const { return m_token; }
    bool IsOpen() const { return m_token != nullptr; }
    void Close();
    // Takes ownership; a held token is closed first.
    void Attach(HANDLE token);
    // Gives up ownership; the caller closes it.
    HANDLE Detach();

private:
    HANDLE m_token = nullptr;
};

// Reads one class of a token's information whole (GetTokenInformation,
// asked for its size first). `data` is untouched on failure.
bool ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what, std::vector<BYTE>& data);

// Whether the groups hold `group` in a form that counts: enabled, or kept
// for denial only (the filtered token of an administrator under UAC, who
// can start an elevated program and so has the group's rights).
bool HoldsGroup(const TOKEN_GROUPS& groups, PSID group);
bool HoldsGroup(const TOKEN_GROUPS& groups, WELL_KNOWN_SID_TYPE group);
// Whether the privileges include `name` ("SeBackupPrivilege"), enabled or
// not: a holder can enable it himself.
bool HoldsPrivilege(const TOKEN_PRIVILEGES& privileges, const char* name);

// Whether the system's access check grants `token` (an impersonation token
// with TOKEN_QUERY) every right of `access` (generic rights mapped with
// `mapping`) on an object holding `descriptor` (which must name an owner
// and a group). False also when the check itself cannot be made.
bool IsAccessGranted(HANDLE token, PSECURITY_DESCRIPTOR descriptor, DWORD access,
                     const GENERIC_MAPPING& mapping);

// The mapping of generic rights to a file's (and a folder's) own.
const GENERIC_MAPPING& FileGenericMapping();

#endif
