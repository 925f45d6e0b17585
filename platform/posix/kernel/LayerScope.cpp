// The layer scope and the termination point: where a thread that
// TerminateThread marked actually ends (see Termination.cpp).
#include "kernel/LayerScope.h"

#include "kernel/ThreadObject.h"

#include <atomic>

namespace rmwin32 {
namespace {

// Read from the signal handler: initial-exec keeps the access a plain load,
// with no lazy allocation behind it.
__attribute__((tls_model("initial-exec"))) thread_local CThreadObject* t_pSelf = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local std::atomic<int> t_nLayerDepth{0};

}  // namespace

CLayerScope::CLayerScope()
{
    t_nLayerDepth.fetch_add(1, std::memory_order_relaxed);
}

CLayerScope::~CLayerScope()
{
    t_nLayerDepth.fetch_sub(1, std::memory_order_relaxed);
}

CThreadObject* CurrentThreadObject()
{
    return t_pSelf;
}

void SetCurrentThreadObject(CThreadObject* pSelf)
{
    t_pSelf = pSelf;
}

bool TerminationRequested()
{
    CThreadObject* self = t_pSelf;
    return self != nullptr && self->m_bTerminatePending.load();
}

void TerminationPoint()
{
    CThreadObject* self = t_pSelf;
    if (self != nullptr && self->m_bJumpReady.load() && self->m_bTerminatePending.load() &&
        t_nLayerDepth.load(std::memory_order_relaxed) == 0)
        siglongjmp(self->m_jump, 1);
}

}  // namespace rmwin32
