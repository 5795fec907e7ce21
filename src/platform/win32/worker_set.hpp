#pragma once
// Handles of the worker threads: held while they run, closed once ended or at
// shutdown. Workers are never joined.

#include <mutex>
#include <vector>

#include "platform/win32/handles.hpp"

namespace tarrow::win32 {

struct WorkerSet {
    std::mutex lock;
    std::vector<UniqueHandle> threads;  // guarded by lock
};

}  // namespace tarrow::win32
