// Replaces one imported function of one loaded module by patching that
// module's import address table, and puts the original back on destruction.
// Lets a test make an operating-system call fail inside the library without
// any seam in the library's code.
#pragma once

#include <windows.h>

namespace testsupport {

class ImportHook {
public:
    ImportHook(HMODULE module, const char* dllName, const char* functionName, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool Installed() const { return slot_ != nullptr; }
    void* Original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

}  // namespace testsupport
