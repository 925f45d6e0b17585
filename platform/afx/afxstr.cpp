#include "afxwin.h"

#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// On Windows the system's C runtime formats. The C++ headers make mingw-w64
// link its own printf family instead, floating point and all, a third of the
// executable for a tool that formats two integers.
int FormatLength(LPCSTR pszFormat, va_list args)
{
#ifdef _WIN32
    return _vscprintf(pszFormat, args);
#else
    return vsnprintf(nullptr, 0, pszFormat, args);
#endif
}

void FormatInto(char* pszBuffer, int nLength, LPCSTR pszFormat, va_list args)
{
#ifdef _WIN32
    _vsnprintf(pszBuffer, static_cast<size_t>(nLength) + 1, pszFormat, args);
#else
    vsnprintf(pszBuffer, static_cast<size_t>(nLength) + 1, pszFormat, args);
#endif
}

}  // namespace

CString::CString(LPCSTR psz)
{
    const size_t nLength = psz != nullptr ? strlen(psz) : 0;
    if (nLength > 0 && nLength < INT_MAX && Allocate(static_cast<int>(nLength)))
        memcpy(m_pszData, psz, nLength);
}

CString::CString(const CString& other) : CString(static_cast<LPCSTR>(other)) {}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
    {
        CString copy(other);
        char* pszOld = m_pszData;
        m_pszData = copy.m_pszData;
        m_nLength = copy.m_nLength;
        copy.m_pszData = pszOld;
    }
    return *this;
}

CString::~CString()
{
    free(m_pszData);
}

bool CString::Allocate(int nLength)
{
    Empty();
    m_pszData = static_cast<char*>(malloc(static_cast<size_t>(nLength) + 1));
    if (m_pszData == nullptr)
        return false;
    m_pszData[nLength] = '\0';
    m_nLength = nLength;
    return true;
}

void CString::Empty()
{
    free(m_pszData);
    m_pszData = nullptr;
    m_nLength = 0;
}

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list sizing;
    va_copy(sizing, args);
    const int nLength = FormatLength(pszFormat, sizing);
    va_end(sizing);
    if (nLength <= 0 || !Allocate(nLength))
        Empty();
    else
        FormatInto(m_pszData, nLength, pszFormat, args);
    va_end(args);
}

bool operator==(const CString& a, LPCSTR b)
{
    return strcmp(a, b != nullptr ? b : "") == 0;
}
