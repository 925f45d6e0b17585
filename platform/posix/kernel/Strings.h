// The string rules the Win32 calls share: how a text is cut to fit a
// caller's buffer, and how names compare.
#ifndef REMOTEMONITOR_KERNEL_STRINGS_H
#define REMOTEMONITOR_KERNEL_STRINGS_H

#include <strings.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace rmwin32 {

// Copies at most nSize - 1 of the nLength characters at pText and a NUL, as
// WM_GETTEXT, GetClassNameA and GetModuleFileNameA do; returns the number of
// characters copied, 0 when there is no buffer or no room even for the NUL.
inline size_t CopyTruncated(const char* pText, size_t nLength, char* pBuffer, size_t nSize)
{
    if (pBuffer == nullptr || nSize == 0)
        return 0;
    const size_t nCopy = std::min(nLength, nSize - 1);
    std::memcpy(pBuffer, pText, nCopy);
    pBuffer[nCopy] = '\0';
    return nCopy;
}

// Class and resource names compare without regard to ASCII case, as on
// Windows: <0, 0 or >0 like strcmp.
inline int CompareIgnoringCase(const char* a, const char* b)
{
    return strcasecmp(a, b);
}

}  // namespace rmwin32

#endif
