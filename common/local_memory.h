#pragma once
// Owner of memory that the system allocated for the caller with LocalAlloc
// (CommandLineToArgvW, security descriptors and SIDs): LocalFree when it goes.
#include <windows.h>

#include <memory>

namespace velk {

struct LocalMemoryFree {
    void operator()(void* memory) const {
        if (memory != nullptr) {
            LocalFree(memory);
        }
    }
};

template <typename T>
using UniqueLocal = std::unique_ptr<T, LocalMemoryFree>;

}  // namespace velk
