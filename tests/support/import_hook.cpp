#include "import_hook.h"

#include <cstring>

namespace testsupport {
namespace {

void WriteSlot(void** slot, void* value)
{
    DWORD old;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
}

void** FindImportSlot(HMODULE module, const char* dllName, void* target)
{
    auto base = reinterpret_cast<BYTE*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (_stricmp(reinterpret_cast<const char*>(base + desc->Name), dllName) != 0) continue;
        for (auto thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk); thunk->u1.Function; ++thunk) {
            if (reinterpret_cast<void*>(thunk->u1.Function) == target) {
                return reinterpret_cast<void**>(&thunk->u1.Function);
            }
        }
    }
    return nullptr;
}

}  // namespace

ImportHook::ImportHook(HMODULE module, const char* dllName, const char* functionName, void* replacement)
{
    void* target = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dllName), functionName));
    slot_ = target ? FindImportSlot(module, dllName, target) : nullptr;
    if (slot_ == nullptr) return;
    original_ = *slot_;
    WriteSlot(slot_, replacement);
}

ImportHook::~ImportHook()
{
    if (slot_ != nullptr) WriteSlot(slot_, original_);
}

}  // namespace testsupport
