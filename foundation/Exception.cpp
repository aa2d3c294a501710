#include "foundation/Exception.h"

CException::CException(DWORD code) : m_code(code)
{
    m_message.FormatErrorMessage(code);
}

CException::CException(DWORD code, const CString& message) : m_code(code), m_message(message) {}

CException::~CException() = default;
