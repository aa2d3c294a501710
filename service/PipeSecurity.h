// Who may reach the service's pipes and who is asking.
//
// The service runs as LocalSystem and acts for whoever writes into its
// pipes, so the pipes are locked down (CPipeServingLoop creates them with
// kServicePipeDescriptor) and every request is judged by the identity of
// the client's own token, never by what the record claims. The SETTINGS and
// BACKUP servers share all of this.
//
// Under Wine every process runs as the same Unix user: the descriptor and
// the impersonation work as calls but never deny anything, and every client
// reads as the one user S-1-5-21-0-0-0-1000, an elevated administrator.
// Policies are therefore tested with identities made by the tests.
#ifndef BRINDLEWOX_SERVICE_PIPESECURITY_H
#define BRINDLEWOX_SERVICE_PIPESECURITY_H

#include "foundation/Base.h"
#include "foundation/Security.h"
#include "foundation/String.h"

// The DACL of the service's pipes, protected (nothing inherited):
// - network logons (NU) are denied everything;
// - SYSTEM (SY) and the Administrators (BA) have full access;
// - interactive users (IU) may read, write data and write attributes
//   (0x12018B: FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES),
//   which is exactly what the clients ask for, and never
//   FILE_CREATE_PIPE_INSTANCE: no user can add an instance of his own to
//   the service's pipe.
constexpr const char kServicePipeDescriptor[] =
    "D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)";
// Files and keys only SYSTEM and the Administrators may open (hive copies,
// the machine-wide product key with the proxy password); OICI makes the
// subkeys of a key inherit it.
constexpr const char kPrivateFileDescriptor[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";
constexpr const char kPrivateKeyDescriptor[] = "D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)";

// The client of one request, learnt from its token.
struct PipeClientIdentity
{
    // False when the token could not be read: such a client is refused
    // everything a policy would weigh.
    bool known = false;
    // The user's SID text ("S-1-5-21-..."), the name of his hive under
    // HKEY_USERS.
    CString sid;
    // An enabled member of the Administrators: under UAC only an elevated
    // program, whose filtered token holds the group as deny-only otherwise.
    bool administrator = false;
};

// Acting as the client of a request: the pipe's client (ImpersonateNamedPipeClient,
// CPipeClientIdentity in BackupRequests.h) or a test's stand-in.
class IPipeCaller
{
public:
    virtual ~IPipeCaller() = default;
    // Makes the calling thread act as the client. False when it cannot; the
    // thread then is still the service.
    virtual bool Impersonate() = 0;
    // The service again. False when the thread could not return to the
    // service's identity.
    virtual bool Revert() = 0;
    // True once a CCallerScope could not make the thread the service again
    // by any means: it must serve nothing more, as whatever it did would be
    // done with that client's rights.
    bool IsStuck() const { return m_stuck; }

private:
    friend class CCallerScope;
    bool m_stuck = false;
};

// Acts as the client for the life of the scope. When Revert fails the
// thread's token is dropped (SetThreadToken), which also makes it the
// service again; when that fails too, the caller is stuck.
class CCallerScope
{
public:
    explicit CCallerScope(IPipeCaller& caller) : m_caller(caller), m_active(caller.Impersonate()) {}
    CCallerScope(const CCallerScope&) = delete;
    CCallerScope& operator=(const CCallerScope&) = delete;
    ~CCallerScope();
    bool IsActive() const { return m_active; }

private:
    IPipeCaller& m_caller;
    bool m_active;
};

enum class ClientLookup
{
    Known,   // the identity was read, and the thread is itself again
    Unknown, // the token could not be read (identity.known stays false)
    // RevertToSelf failed: the thread still acts as the client and must
    // serve no other request (CPipeServingLoop ends its loop).
    StillImpersonating,
};

// Learns who is at the other end of a server pipe that has been read from
// (the system allows impersonation only after a read; the client may have
// closed already): impersonates the client, reads the user SID and the
// Administrators membership from the thread's token, reverts.
ClientLookup ReadPipeClientIdentity(HANDLE pipe, PipeClientIdentity& identity);

// The identity a token carries (an impersonation token, as
// CheckTokenMembership requires). False when it cannot be read; `identity`
// is then untouched.
bool ReadTokenIdentity(HANDLE token, PipeClientIdentity& identity);

#endif
