#include "afxwin.h"

#include <cstdarg>
#include <cstdio>

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list sizing;
    va_copy(sizing, args);
    const int nLength = std::vsnprintf(nullptr, 0, pszFormat, sizing);
    va_end(sizing);
    if (nLength < 0)
    {
        m_str.clear();
    }
    else
    {
        m_str.assign(static_cast<size_t>(nLength) + 1, '\0');
        std::vsnprintf(&m_str[0], m_str.size(), pszFormat, args);
        m_str.resize(static_cast<size_t>(nLength));
    }
    va_end(args);
}
