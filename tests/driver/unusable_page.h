// Pages that a pointer handed to the drivers may lead to and that cannot be used
// as memory, for the tests of copies from and to a caller.
#pragma once

#include <windows.h>

enum class Page { kNull, kNoAccess, kGuard, kFreed, kReservedOnly, kReadOnly };

// A page of the given kind (nullptr for kNull); the caller frees it unless it was freed already.
// A committed page gets a nonzero first byte before it is made unusable, so a copy that read it
// anyway would show.
inline unsigned char* MakePage(Page kind)
{
    if (kind == Page::kNull) return nullptr;
    DWORD allocation = kind == Page::kReservedOnly ? MEM_RESERVE : MEM_COMMIT | MEM_RESERVE;
    auto* page = static_cast<unsigned char*>(VirtualAlloc(nullptr, 4096, allocation, PAGE_READWRITE));
    if (page == nullptr) return nullptr;
    if (kind != Page::kReservedOnly) page[0] = 0x77;
    DWORD old = 0;
    switch (kind) {
    case Page::kNoAccess: VirtualProtect(page, 4096, PAGE_NOACCESS, &old); break;
    case Page::kGuard: VirtualProtect(page, 4096, PAGE_READWRITE | PAGE_GUARD, &old); break;
    case Page::kReadOnly: VirtualProtect(page, 4096, PAGE_READONLY, &old); break;
    case Page::kFreed: VirtualFree(page, 0, MEM_RELEASE); break;
    default: break;
    }
    return page;
}
