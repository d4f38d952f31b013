#include "shared_objects.h"

#include <sddl.h>

#include <string>

namespace latchwire {
namespace {

// Everyone may wait on, release and map; SYSTEM and Administrators own.
constexpr char kMutexDescriptor[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;WD)";
constexpr char kSectionDescriptor[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x000F0006;;;WD)";
constexpr DWORD kMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
constexpr DWORD kSectionAccess = FILE_MAP_READ | FILE_MAP_WRITE;

class SharedSecurity {
public:
    explicit SharedSecurity(const char* sddl)
    {
        attributes_.nLength = sizeof attributes_;
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                             &attributes_.lpSecurityDescriptor, nullptr);
    }
    ~SharedSecurity()
    {
        if (attributes_.lpSecurityDescriptor != nullptr) LocalFree(attributes_.lpSecurityDescriptor);
    }
    SharedSecurity(const SharedSecurity&) = delete;
    SharedSecurity& operator=(const SharedSecurity&) = delete;

    // Null attributes (the caller's default) if the descriptor could not be built.
    SECURITY_ATTRIBUTES* Attributes()
    {
        return attributes_.lpSecurityDescriptor != nullptr ? &attributes_ : nullptr;
    }

private:
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

// Creating asks for full access to an object that exists already, which its
// descriptor refuses to most users; opening asks only for what is used.
HANDLE OpenSharedMutex(const char* name)
{
    HANDLE mutex = OpenMutexA(kMutexAccess, FALSE, name);
    if (mutex != nullptr) return mutex;
    SharedSecurity security(kMutexDescriptor);
    mutex = CreateMutexA(security.Attributes(), FALSE, name);
    if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) mutex = OpenMutexA(kMutexAccess, FALSE, name);
    return mutex;
}

namespace {

HANDLE OpenOrMakeSection(const char* name, DWORD size)
{
    HANDLE section = OpenFileMappingA(kSectionAccess, FALSE, name);
    if (section != nullptr) return section;
    SharedSecurity security(kSectionDescriptor);
    section = CreateFileMappingA(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0, size, name);
    if (section == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
        section = OpenFileMappingA(kSectionAccess, FALSE, name);
    }
    return section;
}

SharedView MapSection(const char* name, DWORD size)
{
    HANDLE section = OpenOrMakeSection(name, size);
    if (section == nullptr) return SharedView{};
    void* view = MapViewOfFile(section, kSectionAccess, 0, 0, size);
    if (view != nullptr) return SharedView{section, view};
    CloseHandle(section);
    return SharedView{};
}

}  // namespace

SharedView MapSharedSection(const char* name, DWORD size)
{
    const SharedView global = MapSection((std::string(kGlobalPrefix) + name).c_str(), size);
    return global.view != nullptr ? global : MapSection(name, size);
}

void UnmapSharedSection(const SharedView& shared)
{
    if (shared.view != nullptr) UnmapViewOfFile(shared.view);
    if (shared.section != nullptr) CloseHandle(shared.section);
}

}  // namespace latchwire
