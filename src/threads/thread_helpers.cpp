#include "threads/thread_helpers.h"

#include "threads/message_pump.h"

namespace {

constexpr DWORD kPumpSliceMs = 15;

using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// Looked up at run time: the import is missing from older systems and from the cross headers.
SetThreadDescriptionFn FindSetThreadDescription() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<SetThreadDescriptionFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")));
}

// WAIT_OBJECT_0 when the thread ended, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForThread(HANDLE thread, std::optional<DWORD> timeoutMs, bool pump) {
    const bool limited = timeoutMs && *timeoutMs != INFINITE;
    if (!pump) return ::WaitForSingleObject(thread, limited ? *timeoutMs : INFINITE);
    if (!limited) {
        DWORD r;
        while ((r = ::WaitForSingleObject(thread, kPumpSliceMs)) == WAIT_TIMEOUT) {
            PumpPendingMessages();
        }
        return r;
    }
    // The odd remainder first, then whole slices, so the total is the time-out asked for.
    DWORD r = ::WaitForSingleObject(thread, *timeoutMs % kPumpSliceMs);
    for (DWORD slices = 0; r == WAIT_TIMEOUT && slices < *timeoutMs / kPumpSliceMs; ++slices) {
        PumpPendingMessages();
        r = ::WaitForSingleObject(thread, kPumpSliceMs);
    }
    return r;
}

}  // namespace

SIZE_T RoundThreadStackSize(std::optional<LONG_PTR> requested) {
    if (!requested || *requested <= 0) return 0;
    if (*requested < 8192) return 8192;
    return static_cast<SIZE_T>(*requested - *requested % 4096);
}

bool NameThread(HANDLE thread, const wchar_t* name) {
    static const SetThreadDescriptionFn setDescription = FindSetThreadDescription();
    if (setDescription == nullptr || thread == nullptr || name == nullptr) return false;
    return SUCCEEDED(setDescription(thread, name));
}

bool StartThread(LPTHREAD_START_ROUTINE procedure, void* parameter, UniqueHandle* handleOut,
                 bool suspended, bool wait, std::optional<DWORD> timeoutMs, DWORD* exitCodeOut,
                 bool pump, std::optional<LONG_PTR> stackSize, const wchar_t* name) {
    if (handleOut != nullptr) handleOut->Reset();
    if (procedure == nullptr) return false;
    UniqueHandle thread(::CreateThread(nullptr, RoundThreadStackSize(stackSize), procedure,
                                       parameter, suspended ? CREATE_SUSPENDED : 0, nullptr));
    if (!thread) return false;
    if (name != nullptr) NameThread(thread.Get(), name);

    if (wait && !suspended) {
        DWORD r = WaitForThread(thread.Get(), timeoutMs, pump);
        if (r == WAIT_OBJECT_0) {
            if (exitCodeOut != nullptr) ::GetExitCodeThread(thread.Get(), exitCodeOut);
            return true;
        }
        if (r != WAIT_TIMEOUT) return false;  // the handle is closed on the way out
    }
    if (handleOut != nullptr) *handleOut = std::move(thread);
    return true;
}

bool KillThread(HANDLE thread) {
    if (!UniqueHandle::IsValid(thread)) return false;
    return ::TerminateThread(thread, 0) != FALSE;
}

bool CloseThreadHandle(UniqueHandle& thread) {
    return thread.Reset();
}
