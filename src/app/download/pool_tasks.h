#pragma once
// The pool takes plain functions with two integer arguments; the application's jobs are
// closures. This is the one place that turns one into the other.
#include <functional>

#include "threads/thread_pool.h"

// Queues task on the pool; false when the pool refused it (the task then never runs).
[[nodiscard]] bool PostTask(ThreadPool& pool, std::function<void()> task);
