// The support form of the support page (Page::Support): the user's e-mail address, name, description
// of the problem and an optional attachment (a log file), posted to the
// maker's support server as "/support/support_en.php" (fields "email",
// "name", "description", "year_ver" in this order, the attachment as the
// file part "filelog").
#ifndef BRINDLEWOX_APP_SUPPORTFORM_H
#define BRINDLEWOX_APP_SUPPORTFORM_H

#include "foundation/Base.h"
#include "foundation/HttpFormPost.h"
#include "foundation/Ini.h"
#include "foundation/String.h"

// What the user typed into the form (fields 835, 836, 837 and 838).
struct SupportFormFields
{
    CString email{""};
    CString name{""};
    CString description{""};
    CString attachment{""}; // a file path; empty: none
};

enum class SupportFormResult
{
    Incomplete, // a required field is empty or the e-mail has no "@": nothing sent
    Sent,       // connected and the whole request written
    NotSent,    // no connection, or the request broke off (the server went away)
};

// The support server: its host name and port 80, and the longest a send
// waits for the server to take bytes (60 s). Tests point the form at a
// loopback listener and shorten the limit; a null host puts the real server
// and limit back.
CString GetSupportHost();
u_short GetSupportPort();
DWORD GetSupportSendLimit();
void SetSupportServerForTests(const char* host, u_short port, DWORD sendLimitMs = 60000);

// Checks and sends the form with the program's version text. Sent empties
// the e-mail, name and description, and the attachment when one was given;
// any other result leaves every field as typed, so the user can try again.
// A server that stops reading makes it NotSent after the send limit.
SupportFormResult SendSupportForm(SupportFormFields& fields, const CString& version,
                                  const IProxySettings& proxy);

// The text the window shows for the result, from the language file given
// (the window's own).
CString SupportFormMessage(CIni& language, SupportFormResult result);

#endif
