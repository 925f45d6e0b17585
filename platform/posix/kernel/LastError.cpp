// The last-error value of our Win32 subset: one per thread, as on Windows, so
// that a failure on the worker thread never clobbers the main thread's value.
// And the words for a value: the system's own, for the error it stands for.
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kernel/Strings.h"

namespace {
thread_local DWORD t_dwLastError = ERROR_SUCCESS;

// The error of the system's behind each code the layer sets for one; 0 for
// the codes of the layer's own making (windows, resources), which have none.
int SystemErrorOf(DWORD dwCode)
{
    switch (dwCode)
    {
    case ERROR_FILE_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
        return ENOMEM;
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_MAX_THRDS_REACHED:
        return EAGAIN;
    default:
        return 0;
    }
}

}  // namespace

DWORD GetLastError(void)
{
    return t_dwLastError;
}

void SetLastError(DWORD dwErrCode)
{
    t_dwLastError = dwErrCode;
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments)
{
    (void)lpSource;   // only read for the flags not kept here
    (void)Arguments;  // the system's texts have no inserts
    if ((dwFlags & ~static_cast<DWORD>(FORMAT_MESSAGE_IGNORE_INSERTS)) != FORMAT_MESSAGE_FROM_SYSTEM ||
        lpBuffer == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwLanguageId != 0)
    {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const int nError = SystemErrorOf(dwMessageId);
    if (nError == 0)
    {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    char szWords[256];
    // The GNU variant: the words may be a constant of the library's rather
    // than the buffer.
    std::string text = strerror_r(nError, szWords, sizeof szWords);
    text += "\r\n";
    if (text.size() >= nSize)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<DWORD>(rmwin32::CopyTruncated(text.data(), text.size(), lpBuffer, nSize));
}
