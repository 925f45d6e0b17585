// Library loading for our Win32 subset, over dlopen.
//
// A bare file name is looked for where Windows looks for an application's
// libraries when the safe search is on: beside the executable first, then in
// the directory given to SetDllDirectoryA, then wherever the system loader
// looks. The current directory is never searched, so a library planted there
// cannot be loaded in place of ours. A name with a '/' is used as given.
//
// Module handles are dlopen handles. Only handles this file handed out are
// passed on to the loader, so a stale or made-up handle fails cleanly instead
// of crashing inside dlsym or dlclose.
#include <windows.h>

#include "kernel/Kernel.h"
#include "kernel/Strings.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct CLoaderState
{
    // Recursive: a library's constructors run under dlopen and may load
    // further libraries through us.
    std::recursive_mutex mutex;
    std::string dllDirectory;
    // Every handle we handed out, with the number of loads not yet freed.
    // Zero for handles only looked up with GetModuleHandleA.
    std::map<void*, long> modules;
};

CLoaderState& Loader()
{
    // Never destroyed: threads still running at exit may load or free.
    static CLoaderState* state = new CLoaderState;
    return *state;
}

void* ExecutableHandle()
{
    static void* handle = dlopen(nullptr, RTLD_NOW);
    return handle;
}

std::string ExecutablePath()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;)
    {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExecutableDirectory()
{
    const std::string path = ExecutablePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The directories the system loader searches for a bare name, in its order
// (LD_LIBRARY_PATH, the executable's run path, the system's own), as the
// loader itself reports them. Only absolute ones: an empty or relative
// element of LD_LIBRARY_PATH means the current directory, which a bare name
// must never reach. The loader's cache is left out; it only knows lib*.so
// names.
std::vector<std::string> SystemSearchDirectories()
{
    std::vector<std::string> directories;
    void* self = ExecutableHandle();
    Dl_serinfo size;
    if (self == nullptr || dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0)
        return directories;
    std::vector<unsigned char> buffer(size.dls_size);
    Dl_serinfo* pInfo = reinterpret_cast<Dl_serinfo*>(buffer.data());
    *pInfo = size;
    if (dlinfo(self, RTLD_DI_SERINFO, pInfo) != 0)
        return directories;
    for (unsigned int i = 0; i < pInfo->dls_cnt; ++i)
    {
        const char* pszDirectory = pInfo->dls_serpath[i].dls_name;
        if (pszDirectory != nullptr && pszDirectory[0] == '/')
            directories.push_back(pszDirectory);
    }
    return directories;
}

// The places a name is tried, in order.
std::vector<std::string> Candidates(const char* name, const std::string& dllDirectory)
{
    std::vector<std::string> candidates;
    if (strchr(name, '/') != nullptr)
    {
        candidates.push_back(name);
        return candidates;
    }
    const std::string exeDir = ExecutableDirectory();
    if (!exeDir.empty())
        candidates.push_back(exeDir + "/" + name);
    if (!dllDirectory.empty())
        candidates.push_back(dllDirectory + "/" + name);
    for (const std::string& directory : SystemSearchDirectories())
        candidates.push_back(directory + "/" + name);
    return candidates;
}

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

}  // namespace

// A thread must not be ended while it holds the loader lock (ours or the
// system loader's), or every later load would hang.
using rmwin32::InLayer;

HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    return InLayer([&]() -> HMODULE {
        if (lpLibFileName == nullptr || *lpLibFileName == '\0')
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        CLoaderState& loader = Loader();
        std::lock_guard<std::recursive_mutex> lock(loader.mutex);
        for (const std::string& candidate : Candidates(lpLibFileName, loader.dllDirectory))
        {
            if (!Exists(candidate))
                continue;
            // The first file found is the one: falling through to a copy
            // further down the list when it fails to load would load a
            // library the caller did not expect.
            void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr)
                break;
            ++loader.modules[handle];
            return reinterpret_cast<HMODULE>(handle);
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    });
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    return InLayer([&]() -> FARPROC {
        if (lpProcName == nullptr || IS_INTRESOURCE(lpProcName))
        {
            // Our libraries export by name only; there are no ordinals.
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        void* handle = hModule == nullptr ? ExecutableHandle() : reinterpret_cast<void*>(hModule);
        CLoaderState& loader = Loader();
        std::lock_guard<std::recursive_mutex> lock(loader.mutex);
        if (handle != ExecutableHandle() && loader.modules.count(handle) == 0)
        {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        dlerror();
        void* symbol = dlsym(handle, lpProcName);
        if (symbol == nullptr)
        {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        FARPROC proc;
        static_assert(sizeof(proc) == sizeof(symbol), "function and data pointers differ");
        memcpy(&proc, &symbol, sizeof(proc));
        return proc;
    });
}

BOOL FreeLibrary(HMODULE hLibModule)
{
    return InLayer([&]() -> BOOL {
        void* handle = reinterpret_cast<void*>(hLibModule);
        if (handle != nullptr && handle == ExecutableHandle())
            return TRUE;  // The executable stays, as on Windows.
        CLoaderState& loader = Loader();
        std::lock_guard<std::recursive_mutex> lock(loader.mutex);
        auto it = loader.modules.find(handle);
        if (it == loader.modules.end() || it->second == 0)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        // Forget the handle before its last dlclose: afterwards the loader
        // may hand the same address to another library.
        if (--it->second == 0)
            loader.modules.erase(it);
        dlclose(handle);
        return TRUE;
    });
}

BOOL SetDllDirectoryA(LPCSTR lpPathName)
{
    return InLayer([&]() -> BOOL {
        CLoaderState& loader = Loader();
        std::lock_guard<std::recursive_mutex> lock(loader.mutex);
        loader.dllDirectory = lpPathName == nullptr ? std::string() : std::string(lpPathName);
        // "dir/" and "dir" name the same place.
        while (loader.dllDirectory.size() > 1 && loader.dllDirectory.back() == '/')
            loader.dllDirectory.pop_back();
        return TRUE;
    });
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName)
{
    return InLayer([&]() -> HMODULE {
        if (lpModuleName == nullptr)
            return reinterpret_cast<HMODULE>(ExecutableHandle());
        CLoaderState& loader = Loader();
        std::lock_guard<std::recursive_mutex> lock(loader.mutex);
        for (const std::string& candidate : Candidates(lpModuleName, loader.dllDirectory))
        {
            void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_NOLOAD);
            if (handle == nullptr)
                continue;
            // GetModuleHandleA takes no reference; RTLD_NOLOAD did.
            dlclose(handle);
            loader.modules.emplace(handle, 0);
            return reinterpret_cast<HMODULE>(handle);
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    });
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    return InLayer([&]() -> DWORD {
        void* handle = reinterpret_cast<void*>(hModule);
        std::string path;
        if (handle == nullptr || handle == ExecutableHandle())
        {
            path = ExecutablePath();
        }
        else
        {
            CLoaderState& loader = Loader();
            std::lock_guard<std::recursive_mutex> lock(loader.mutex);
            link_map* map = nullptr;
            if (loader.modules.count(handle) != 0 && dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr &&
                map->l_name != nullptr)
                path = map->l_name;
        }
        if (path.empty())
        {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        if (lpFilename == nullptr || nSize == 0)
        {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        // As on Windows (Vista and later): a name that does not fit is cut,
        // still terminated, and the full size is returned with an error set.
        rmwin32::CopyTruncated(path.data(), path.size(), lpFilename, nSize);
        if (path.size() >= nSize)
        {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return nSize;
        }
        return static_cast<DWORD>(path.size());
    });
}
