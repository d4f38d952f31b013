// Named objects that every process and user running exchanges shares. The
// first process to make one decides its security, and a user's default would
// shut the other users out, so each is made with a descriptor that lets
// everyone use it (but not change its security).
#pragma once

#include <windows.h>

namespace latchwire {

constexpr char kGlobalPrefix[] = "Global\\";

// Opens or makes the mutex of exactly this name; null if neither works.
HANDLE OpenSharedMutex(const char* name);

struct SharedView {
    HANDLE section;
    void* view;  // null if nothing could be mapped
};

// Maps a zero-filled section of size bytes: the global one if it can be
// opened or made (making one there needs a privilege that a standard user
// may lack), else the session's. Its holder keeps the handle open with the
// view: a view alone does not keep the section's name on every system.
SharedView MapSharedSection(const char* name, DWORD size);
void UnmapSharedSection(const SharedView& shared);

}  // namespace latchwire
