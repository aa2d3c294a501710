#include "app/SupportForm.h"

#include "app/CommandRules.h"
#include "skin/SkinFiles.h"

namespace
{
const char kSupportHost[] = "www.orvanel.com";
const u_short kSupportPort = 80;
const char kSupportPath[] = "/support/support_en.php";
const DWORD kSupportSendLimitMs = 60000;

CString g_testHost("");
u_short g_testPort = 0;
DWORD g_testSendLimitMs = kSupportSendLimitMs;
} // namespace

CString GetSupportHost()
{
    return g_testHost.IsEmpty() ? CString(kSupportHost) : g_testHost;
}

u_short GetSupportPort()
{
    return g_testHost.IsEmpty() ? kSupportPort : g_testPort;
}

DWORD GetSupportSendLimit()
{
    return g_testHost.IsEmpty() ? kSupportSendLimitMs : g_testSendLimitMs;
}

void SetSupportServerForTests(const char* host, u_short port, DWORD sendLimitMs)
{
    g_testHost = host != nullptr ? host : "";
    g_testPort = port;
    g_testSendLimitMs = sendLimitMs;
}

SupportFormResult SendSupportForm(SupportFormFields& fields, const CString& version,
                                  const IProxySettings& proxy)
{
    if (!SupportFormComplete(fields.email, fields.name, fields.description))
        return SupportFormResult::Incomplete;

    HttpFormPost post(GetSupportHost(), kSupportPath, GetSupportPort());
    post.SetSendTimeout(GetSupportSendLimit());
    post.AddField("email", fields.email);
    post.AddField("name", fields.name);
    post.AddField("description", fields.description);
    post.AddField("year_ver", version);
    if (!fields.attachment.IsEmpty())
        post.AddFile("filelog", fields.attachment, "application/octet-stream");

    // A request that broke off (the server went away while the attachment
    // streamed) did not reach the support team: it counts as not sent.
    if (!post.Connect(proxy) || !post.Submit())
        return SupportFormResult::NotSent;

    fields.email = "";
    fields.name = "";
    fields.description = "";
    fields.attachment = "";
    return SupportFormResult::Sent;
}

CString SupportFormMessage(CIni& language, SupportFormResult result)
{
    switch (result)
    {
    case SupportFormResult::Incomplete:
        return LanguageText(language, "DL_N_101_328", "Please fill in all required fields.");
    case SupportFormResult::Sent:
        return LanguageText(language, "DL_N_101_329", "Message sucessfully sent.");
    case SupportFormResult::NotSent:
        break;
    }
    return LanguageText(language, "DL_N_101_330", "Message was not sent.");
}
