// Helpers shared by the kernel tests.
#ifndef REMOTEMONITOR_KERNEL_TEST_UTIL_H
#define REMOTEMONITOR_KERNEL_TEST_UTIL_H

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace kerneltest {

// The copy of the helper library beside the test executable.
constexpr const char* kLib = "KernelTestLib.dll";

typedef int (*IntFn)(void);
typedef void (*StuckFn)(volatile int*);

template <typename Fn>
Fn Proc(HMODULE h, const char* name)
{
    return reinterpret_cast<Fn>(GetProcAddress(h, name));
}

inline std::string ExeDir()
{
    char path[4096];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string exe(path, n);
    return exe.substr(0, exe.rfind('/'));
}

// Polls pred until it holds or timeoutMs pass; a liveness bound, not a speed
// requirement.
template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace kerneltest

#endif
