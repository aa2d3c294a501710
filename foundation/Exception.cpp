#include "foundation/Exception.h"

#include <atomic>

namespace
{
std::atomic<void (*)(const char*)> g_reporter{nullptr};
} // namespace

void SetExceptionReporter(void (*reporter)(const char* text))
{
    g_reporter.store(reporter);
}

void ReportCaughtException(const char* text)
{
    void (*reporter)(const char*) = g_reporter.load();
    if (reporter != nullptr)
        reporter(text);
    else
        ::OutputDebugStringA(text);
}

CException::CException(DWORD code) : m_code(code)
{
    m_message.FormatErrorMessage(code);
}

CException::CException(DWORD code, const CString& message) : m_code(code), m_message(message) {}

CException::~CException() = default;
