// The last-error value of our Win32 subset: one per thread, as on Windows, so
// that a failure on the worker thread never clobbers the main thread's value.
#include <windows.h>

namespace {
thread_local DWORD t_dwLastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError(void)
{
    return t_dwLastError;
}

void SetLastError(DWORD dwErrCode)
{
    t_dwLastError = dwErrCode;
}
