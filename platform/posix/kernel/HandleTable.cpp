// Thread handles. A handle names a reference-counted thread object; the table
// of live handles holds one reference, the running thread another, so either
// may go first; whichever is last detaches a thread nobody joined, so that it
// frees its resources when it ends. Handle values are never reused, and every call looks its
// handle up in the table, so a closed or made-up handle fails with
// ERROR_INVALID_HANDLE instead of being dereferenced.
#include "kernel/Kernel.h"
#include "kernel/ThreadObject.h"

#include <stdint.h>

#include <map>

namespace rmwin32 {
namespace {

class CHandleTable
{
public:
    HANDLE Insert(std::shared_ptr<CThreadObject> object)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_next += 4;
        m_objects.emplace(m_next, std::move(object));
        return reinterpret_cast<HANDLE>(m_next);
    }
    std::shared_ptr<CThreadObject> Find(HANDLE h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(h));
        return it == m_objects.end() ? nullptr : it->second;
    }
    std::shared_ptr<CThreadObject> Remove(HANDLE h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_objects.find(reinterpret_cast<uintptr_t>(h));
        if (it == m_objects.end())
            return nullptr;
        std::shared_ptr<CThreadObject> object = std::move(it->second);
        m_objects.erase(it);
        return object;
    }

private:
    std::mutex m_mutex;
    // Starts well away from small integers and from pointers a caller might
    // pass by mistake.
    uintptr_t m_next = 0x10000;
    std::map<uintptr_t, std::shared_ptr<CThreadObject>> m_objects;
};

CHandleTable& Handles()
{
    // Never destroyed: threads still running at exit may use their handles.
    static CHandleTable* table = new CHandleTable;
    return *table;
}

}  // namespace

std::shared_ptr<CThreadObject> FindThreadOrFail(HANDLE hThread)
{
    std::shared_ptr<CThreadObject> object = Handles().Find(hThread);
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

HANDLE InsertThreadHandle(std::shared_ptr<CThreadObject> object)
{
    return Handles().Insert(std::move(object));
}

}  // namespace rmwin32

BOOL CloseHandle(HANDLE hObject)
{
    return rmwin32::InLayer([&]() -> BOOL {
        // The thread keeps its own reference; closing only drops the handle's.
        if (!rmwin32::Handles().Remove(hObject))
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return TRUE;
    });
}
