#include "app/download/pool_tasks.h"

#include <memory>

namespace {

void RunClosure(INT_PTR, INT_PTR closure) {
    std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(closure));
    (*task)();
}

}  // namespace

bool PostTask(ThreadPool& pool, std::function<void()> task) {
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    if (!pool.Post(RunClosure, 0, reinterpret_cast<INT_PTR>(owned.get()))) return false;
    // The pool now holds the closure; a pool stopped with queued tasks drops them at shutdown,
    // when the process is ending anyway.
    owned.release();
    return true;
}
