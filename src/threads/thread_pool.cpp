#include "threads/thread_pool.h"

#include <atomic>
#include <climits>

#include "threads/handle.h"
#include "threads/message_pump.h"
#include "threads/thread_helpers.h"

namespace {

// The quit packet: byte count -1, key -1, overlapped value -2. Only the overlapped value is
// tested, so no task address may equal it.
constexpr DWORD kQuitBytes = static_cast<DWORD>(-1);
constexpr ULONG_PTR kQuitKey = static_cast<ULONG_PTR>(-1);
const LPOVERLAPPED kQuitTask = reinterpret_cast<LPOVERLAPPED>(static_cast<INT_PTR>(-2));
// Asks an idle worker to leave if the pool has more than its first count.
const LPOVERLAPPED kRetireTask = reinterpret_cast<LPOVERLAPPED>(static_cast<INT_PTR>(-3));

constexpr DWORD kSliceMs = 20;
constexpr DWORD kManagerStackSize = 8192;

SIZE_T RoundPoolStackSize(LONG_PTR bytes, LONG_PTR multiple) {
    if (bytes <= 0) return 0;
    if (bytes < 8192) return 8192;
    return static_cast<SIZE_T>(bytes - bytes % multiple);
}

bool Signalled(HANDLE h, DWORD ms) {
    return ::WaitForSingleObject(h, ms) == WAIT_OBJECT_0;
}

}  // namespace

// Everything the threads touch lives here, shared by the pool object and every thread it
// started: a worker still finishing its task after the pool object is gone still finds its
// counters and handles. The kernel objects are made by the first Create and kept for the life
// of the core, so no thread can ever wait on or post to a handle value that was closed and
// handed out again to something else.
struct ThreadPool::Core : std::enable_shared_from_this<ThreadPool::Core> {
    std::atomic<LONG> state{kStopped};
    std::atomic<LONG> running{0};
    std::atomic<LONG> threadCount{0};
    // Workers started or being started and not yet gone. The limit and the teardown go by this,
    // not by threadCount: a worker that was created but has not run yet must neither be
    // created twice over nor be left running in a pool that was torn down without it.
    std::atomic<LONG> members{0};
    std::atomic<LONG> busyCount{0};
    std::atomic<LONG> queuedCount{0};
    std::atomic<LONG> minThreads{0};
    std::atomic<LONG> maxThreads{0};
    std::atomic<LONG> idleTimeout{10000};
    std::atomic<SIZE_T> stackSize{0};

    UniqueHandle port;
    UniqueHandle demandEvent;    // auto-reset: more workers may be needed
    UniqueHandle startedEvent;   // auto-reset: a worker has started
    UniqueHandle taskDoneEvent;  // auto-reset: a task has finished
    UniqueHandle resumeGate;     // manual-reset: set = running, clear = paused
    UniqueHandle stoppedGate;    // manual-reset: set while the state is kStopped
    UniqueHandle managerThread;  // touched only by Create and Stop, which the state serialises

    bool MakeKernelObjects();
    void Rearm();
    bool StartThreadOf(LPTHREAD_START_ROUTINE entry, SIZE_T stack, UniqueHandle* keep);
    bool StartWorker() {
        ++members;
        if (StartThreadOf(&WorkerEntry, stackSize.load(), nullptr)) {
            return true;
        }
        --members;
        return false;
    }
    bool NeedsMoreWorkers() const {
        LONG threads = members.load();
        return threads < maxThreads.load() && threads < busyCount.load() + queuedCount.load();
    }
    bool LeaveIfSpare();
    void WorkerLoop();
    void ManagerLoop();
    void TearDown();
    void BecomeStopped() {
        state = kStopped;
        ::SetEvent(stoppedGate.Get());
    }
    void WaitForManager(int slices, bool pump);

    static DWORD WINAPI WorkerEntry(void* p) { return Run(p, L"pool worker", false); }
    static DWORD WINAPI ManagerEntry(void* p) { return Run(p, L"pool manager", true); }
    static DWORD Run(void* p, const wchar_t* name, bool manager) {
        std::shared_ptr<Core> core = std::move(*static_cast<std::shared_ptr<Core>*>(p));
        delete static_cast<std::shared_ptr<Core>*>(p);
        NameThread(::GetCurrentThread(), name);
        if (manager) {
            core->ManagerLoop();
        } else {
            core->WorkerLoop();
        }
        return 0;
    }
};

bool ThreadPool::Core::MakeKernelObjects() {
    if (port) return true;
    port.Reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0));
    demandEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    startedEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    taskDoneEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    resumeGate.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    stoppedGate.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (port && demandEvent && startedEvent && taskDoneEvent && resumeGate && stoppedGate)
        return true;
    port.Reset();
    demandEvent.Reset();
    startedEvent.Reset();
    taskDoneEvent.Reset();
    resumeGate.Reset();
    stoppedGate.Reset();
    return false;
}

// Puts reused kernel objects back into their initial state and throws away packets that an
// earlier run left behind (dropped tasks, spare quit packets), which would otherwise reach the
// new workers.
void ThreadPool::Core::Rearm() {
    ::ResetEvent(demandEvent.Get());
    ::ResetEvent(startedEvent.Get());
    ::ResetEvent(taskDoneEvent.Get());
    ::SetEvent(resumeGate.Get());
    ::ResetEvent(stoppedGate.Get());
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED task = nullptr;
        if (!::GetQueuedCompletionStatus(port.Get(), &bytes, &key, &task, 0) && task == nullptr) {
            break;
        }
    }
}

bool ThreadPool::Core::StartThreadOf(LPTHREAD_START_ROUTINE entry, SIZE_T stack,
                                     UniqueHandle* keep) {
    auto* ref = new std::shared_ptr<Core>(shared_from_this());
    HANDLE h = ::CreateThread(nullptr, stack, entry, ref, 0, nullptr);
    if (h == nullptr) {
        delete ref;
        return false;
    }
    if (keep != nullptr) {
        keep->Reset(h);
    } else {
        UniqueHandle closeNow(h);  // workers are never joined by handle
    }
    return true;
}

// Which workers stay does not matter, only how many: any worker beyond the first ones waits with
// the idle time-out and may leave, and leaving takes a place in members first, so two workers
// timing out together can never take the pool below its first count (nor tear it down).
bool ThreadPool::Core::LeaveIfSpare() {
    LONG now = members.load();
    while (now > minThreads.load()) {
        if (members.compare_exchange_weak(now, now - 1)) {
            --threadCount;
            return true;
        }
    }
    return false;
}

void ThreadPool::Core::WorkerLoop() {
    ++threadCount;
    ::SetEvent(startedEvent.Get());
    for (;;) {
        const DWORD wait =
            members.load() > minThreads.load() ? static_cast<DWORD>(idleTimeout.load()) : INFINITE;
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED task = nullptr;
        BOOL took = ::GetQueuedCompletionStatus(port.Get(), &bytes, &key, &task, wait);
        const bool idleTooLong = !took && task == nullptr && ::GetLastError() == WAIT_TIMEOUT;
        ::WaitForSingleObject(resumeGate.Get(), INFINITE);
        if (running.load() == 1 && (idleTooLong || task == kRetireTask)) {
            // Work queued meanwhile needs the worker more than the memory does.
            if (queuedCount.load() == 0 && LeaveIfSpare()) return;
            continue;
        }
        if (running.load() != 1 || !took || task == kQuitTask || task == nullptr) break;
        // busy goes up before queued goes down, so IsIdle never sees both at zero mid-hand-over.
        ++busyCount;
        --queuedCount;
        reinterpret_cast<PoolTask>(task)(static_cast<INT_PTR>(static_cast<LONG>(bytes)),
                                         static_cast<INT_PTR>(key));
        --busyCount;
        ::SetEvent(taskDoneEvent.Get());
    }
    --threadCount;
    if (--members == 0) TearDown();
}

// Run by the last worker to leave. Packets still queued stay in the port until the next Create
// discards them.
void ThreadPool::Core::TearDown() {
    running = 0;
    threadCount = 0;
    busyCount = 0;
    queuedCount = 0;
    // Released before the state drops, so the manager still sees "stopping" and ends; set after,
    // it could wake the manager of a Create that already began.
    ::SetEvent(demandEvent.Get());
    BecomeStopped();
}

void ThreadPool::Core::ManagerLoop() {
    ::WaitForSingleObject(demandEvent.Get(), INFINITE);
    int failures = 0;
    while (state.load() == kRunning) {
        if (NeedsMoreWorkers()) {
            LONG threads = members.load();
            if (StartWorker()) {
                failures = 0;
                ::WaitForSingleObject(startedEvent.Get(), static_cast<DWORD>(threads) * 10 + 1000);
            } else if (++failures >= 5) {
                maxThreads = threadCount.load();
                failures = 0;
            }
        } else {
            ::WaitForSingleObject(demandEvent.Get(), INFINITE);
        }
        ::WaitForSingleObject(resumeGate.Get(), INFINITE);
    }
}

void ThreadPool::Core::WaitForManager(int slices, bool pump) {
    for (int i = 0; i < slices && managerThread; ++i) {
        if (Signalled(managerThread.Get(), kSliceMs)) break;
        if (pump) PumpPendingMessages();
    }
    // A manager that did not end in time keeps its own reference to the core and ends later.
    managerThread.Reset();
}

ThreadPool::ThreadPool() : core_(std::make_shared<Core>()) {}

ThreadPool::~ThreadPool() {
    Stop(kStopDropNoWait);
}

bool ThreadPool::Create(std::optional<LONG> minThreads, std::optional<LONG> maxThreads,
                        std::optional<LONG> idleTimeoutMs, bool pump,
                        std::optional<LONG_PTR> stackSize) {
    Core& c = *core_;
    LONG expected = kStopped;
    if (!c.state.compare_exchange_strong(expected, kCreating)) return false;

    const LONG minCount = minThreads ? (*minThreads < 1 ? 1 : *minThreads) : 5;
    LONG maxCount = maxThreads ? *maxThreads : 20;
    if (maxCount < minCount) maxCount = minCount;
    c.minThreads = minCount;
    c.maxThreads = maxCount;
    c.idleTimeout = idleTimeoutMs ? (*idleTimeoutMs < 100 ? 100 : *idleTimeoutMs) : 10000;
    c.stackSize = stackSize ? RoundPoolStackSize(*stackSize, 4096) : 0;

    if (!c.MakeKernelObjects()) {
        c.state = kStopped;
        return false;
    }
    c.Rearm();
    c.running = 1;
    c.threadCount = 0;
    c.members = 0;
    c.busyCount = 0;
    c.queuedCount = 0;
    if (!c.StartThreadOf(&Core::ManagerEntry, kManagerStackSize, &c.managerThread)) {
        c.running = 0;
        c.BecomeStopped();
        return false;
    }

    LONG started = 0;
    int failuresInRow = 0;
    for (LONG i = 0; i < minCount; ++i) {
        if (c.StartWorker()) {
            ++started;
            failuresInRow = 0;
        } else if (++failuresInRow >= 5) {
            break;
        }
        if (pump) PumpPendingMessages();
    }

    if (started > 0) {
        // Checked every slice, not only when the event fires: several workers setting the
        // auto-reset event at once wake the waiter only once.
        const DWORD begin = ::GetTickCount();
        const DWORD limit = static_cast<DWORD>(started) * 10 + 1000;
        while (c.threadCount.load() < started && ::GetTickCount() - begin <= limit) {
            ::WaitForSingleObject(c.startedEvent.Get(), kSliceMs);
            if (pump) PumpPendingMessages();
        }
    }
    // A worker that was created but is slow to come up still counts: it will run.
    if (c.members.load() > 0) {
        c.state = kRunning;
        return true;
    }

    // No worker came up: release the manager, which finds the pool not running and ends.
    ::SetEvent(c.demandEvent.Get());
    c.WaitForManager(11, pump);
    c.running = 0;
    c.threadCount = 0;
    c.busyCount = 0;
    c.queuedCount = 0;
    c.BecomeStopped();
    return false;
}

bool ThreadPool::Stop(std::optional<int> mode, std::optional<LONG> timeoutMs, bool pump) {
    Core& c = *core_;
    LONG expected = kRunning;
    if (!c.state.compare_exchange_strong(expected, kStopping)) return expected == kStopped;

    const int m = (mode && *mode >= 0 && *mode <= 3) ? *mode : kStopDropWait;
    if (m == kStopDropWait || m == kStopDropNoWait) c.running = 0;

    ::SetEvent(c.taskDoneEvent.Get());
    ::SetEvent(c.startedEvent.Get());
    ::SetEvent(c.demandEvent.Get());
    ::SetEvent(c.resumeGate.Get());

    c.WaitForManager(21, pump);

    // One per worker, counting those still starting, and one spare. In the draining modes they
    // queue behind the tasks, so those still run first.
    const LONG packets = c.members.load() + 1;
    for (LONG i = 0; i < packets; ++i) {
        ::PostQueuedCompletionStatus(c.port.Get(), kQuitBytes, kQuitKey, kQuitTask);
        if (pump && (i + 1) % 100 == 0) PumpPendingMessages();
    }
    if (m == kStopDropNoWait || m == kStopDrainNoWait) return true;

    const DWORD begin = ::GetTickCount();
    while (c.state.load() == kStopping) {
        ::WaitForSingleObject(c.demandEvent.Get(), kSliceMs);
        if (pump) PumpPendingMessages();
        if (timeoutMs && *timeoutMs > 0 &&
            ::GetTickCount() - begin > static_cast<DWORD>(*timeoutMs)) {
            return c.state.load() != kStopping;
        }
    }
    return true;
}

bool ThreadPool::Pause() {
    if (core_->state.load() != kRunning) return false;
    return ::ResetEvent(core_->resumeGate.Get()) != FALSE;
}

bool ThreadPool::Resume() {
    if (core_->state.load() != kRunning) return false;
    return ::SetEvent(core_->resumeGate.Get()) != FALSE;
}

bool ThreadPool::WaitResumed(std::optional<DWORD> timeoutMs) {
    if (core_->state.load() != kRunning) return false;
    return Signalled(core_->resumeGate.Get(), timeoutMs.value_or(INFINITE));
}

bool ThreadPool::Post(PoolTask task, INT_PTR argument1, INT_PTR argument2) {
    return PostAddress(reinterpret_cast<INT_PTR>(task), argument1, argument2);
}

bool ThreadPool::PostAddress(INT_PTR taskAddress, INT_PTR argument1, INT_PTR argument2) {
    Core& c = *core_;
    if (c.state.load() != kRunning) return false;
    const auto task = reinterpret_cast<LPOVERLAPPED>(taskAddress);
    if (taskAddress == 0 || task == kQuitTask || task == kRetireTask) return false;
    if (argument1 < LONG_MIN || argument1 > LONG_MAX) return false;  // must fit the byte count
    ++c.queuedCount;
    BOOL posted = ::PostQueuedCompletionStatus(
        c.port.Get(), static_cast<DWORD>(static_cast<LONG>(argument1)),
        static_cast<ULONG_PTR>(argument2), reinterpret_cast<LPOVERLAPPED>(taskAddress));
    if (!posted) --c.queuedCount;
    if (c.NeedsMoreWorkers()) ::SetEvent(c.demandEvent.Get());
    return posted != FALSE;
}

void ThreadPool::RetireSpareWorkers() {
    Core& c = *core_;
    if (c.state.load() != kRunning) return;
    const LONG spare = c.members.load() - c.minThreads.load();
    for (LONG i = 0; i < spare; ++i) {
        ::PostQueuedCompletionStatus(c.port.Get(), 0, 0, kRetireTask);
    }
}

bool ThreadPool::WaitTaskDone(std::optional<LONG> timeoutMs, bool pump) {
    Core& c = *core_;
    if (c.state.load() != kRunning) return false;
    const bool limited = timeoutMs && *timeoutMs != -1;
    if (!pump) {
        return Signalled(c.taskDoneEvent.Get(),
                         limited ? static_cast<DWORD>(*timeoutMs) : INFINITE);
    }
    const DWORD begin = ::GetTickCount();
    for (;;) {
        PumpPendingMessages();
        if (Signalled(c.taskDoneEvent.Get(), kSliceMs)) return true;
        if (limited && ::GetTickCount() - begin > static_cast<DWORD>(*timeoutMs)) return false;
    }
}

LONG ThreadPool::IdleThreadCount() const {
    return core_->threadCount.load() - core_->busyCount.load();
}
LONG ThreadPool::BusyCount() const {
    return core_->busyCount.load();
}
LONG ThreadPool::QueuedCount() const {
    return core_->queuedCount.load();
}
LONG ThreadPool::ThreadCount() const {
    return core_->threadCount.load();
}
LONG ThreadPool::MaxThreads() const {
    return core_->maxThreads.load();
}
bool ThreadPool::WaitStopped(DWORD timeoutMs) const {
    const Core& c = *core_;
    if (c.state.load() == kStopped) return true;
    // Made with the state leaving kStopped, so a pool that is not stopped always has one.
    return Signalled(c.stoppedGate.Get(), timeoutMs) && c.state.load() == kStopped;
}

LONG ThreadPool::State() const {
    return core_->state.load();
}
LONG ThreadPool::IdleTimeout() const {
    return core_->idleTimeout.load();
}
SIZE_T ThreadPool::StackSize() const {
    return core_->stackSize.load();
}

bool ThreadPool::IsIdle() const {
    // queued first: a task moves from queued to busy with busy raised before queued drops.
    return core_->queuedCount.load() == 0 && core_->busyCount.load() == 0;
}

void ThreadPool::SetMaxThreads(LONG n) {
    Core& c = *core_;
    if (c.state.load() != kRunning) return;
    c.maxThreads = n < 1 ? 1 : n;
    if (c.NeedsMoreWorkers()) ::SetEvent(c.demandEvent.Get());
}

void ThreadPool::SetIdleTimeout(LONG ms) {
    if (core_->state.load() != kRunning) return;
    core_->idleTimeout = ms < 100 ? 100 : ms;
}

void ThreadPool::SetStackSize(LONG_PTR bytes) {
    if (core_->state.load() != kRunning) return;
    core_->stackSize = RoundPoolStackSize(bytes, 8192);
}
