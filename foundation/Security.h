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

// Makes the calling thread act as this process with some privileges
// enabled, for the life of the object: a duplicate of the process token
// with them enabled becomes the thread's token (SetThreadToken), and goes
// with RevertToSelf. The process token is not changed, so the process's
// other threads keep exactly the privileges they had. The thread must not
// be acting as anyone else when the object is made.
class CThreadPrivileges
{
public:
    // The privilege names, a null pointer after the last.
    explicit CThreadPrivileges(const char* const* names);
    CThreadPrivileges(const CThreadPrivileges&) = delete;
    CThreadPrivileges& operator=(const CThreadPrivileges&) = delete;
    virtual ~CThreadPrivileges();
    // False when the token could not be made, the privileges not all
    // enabled in it, or it not set on the thread (the last error kept): the
    // thread then runs with its own rights.
    bool IsActive() const { return m_active; }

private:
    bool m_active = false;
};

// Reads one class of a token's information whole (GetTokenInformation,
// asked for its size first). `data` is untouched on failure.
bool ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS what, std::vector<BYTE>& data);

// Whether the groups hold `group` enabled. A group kept for denial only (the
// Administrators in the filtered token of an administrator under UAC, who
// has not elevated) grants nothing: it only takes rights away.
bool HoldsEnabledGroup(const TOKEN_GROUPS& groups, PSID group);
bool HoldsEnabledGroup(const TOKEN_GROUPS& groups, WELL_KNOWN_SID_TYPE group);
// Whether the privileges hold `name` ("SeBackupPrivilege") enabled; one
// held but not enabled is the holder's to enable, which he has not done.
bool HoldsEnabledPrivilege(const TOKEN_PRIVILEGES& privileges, const char* name);

// Integrity levels: the last part of a mandatory label's SID
// (SECURITY_MANDATORY_MEDIUM_RID 0x2000, ..._HIGH_RID 0x3000, ...).
// A token's own (TokenIntegrityLevel). False when it cannot be read;
// `level` is then untouched.
bool ReadTokenIntegrityLevel(HANDLE token, DWORD& level);
// An object's mandatory label, from a descriptor read with
// LABEL_SECURITY_INFORMATION: its level and its policy
// (SYSTEM_MANDATORY_LABEL_NO_READ_UP, ...). False when the descriptor holds
// none (the system then takes the object as medium, no write up); the
// outputs are then untouched.
bool ReadMandatoryLabel(PSECURITY_DESCRIPTOR descriptor, DWORD& level, DWORD& policy);
// Whether the label forbids a caller of `callerLevel` to read the object:
// a label above his level whose policy holds no-read-up. The system's
// access check weighs the label on Windows; Wine's ignores it (and keeps
// no label on a file), so callers that must hold the rule ask here too.
bool IsReadUpDenied(PSECURITY_DESCRIPTOR descriptor, DWORD callerLevel);

// Whether the system's access check grants `token` (an impersonation token
// with TOKEN_QUERY) every right of `access` (generic rights mapped with
// `mapping`) on an object holding `descriptor` (which must name an owner
// and a group). False also when the check itself cannot be made.
bool IsAccessGranted(HANDLE token, PSECURITY_DESCRIPTOR descriptor, DWORD access,
                     const GENERIC_MAPPING& mapping);

// The mapping of generic rights to a file's (and a folder's) own.
const GENERIC_MAPPING& FileGenericMapping();

#endif
