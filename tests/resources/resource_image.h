// Reads the resources of a built executable the way the platform's loader
// does: the image is mapped as a data file, strings go through LoadStringW
// and the thread's language choice, raw resources through FindResourceExW.
#pragma once

#include <windows.h>

#include "thread_language.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace restest {

// The executable under test, mapped as a data file (it is never started and
// its imports are never resolved). The path is relative to the directory of
// the running test program unless it is absolute.
class ResourceImage {
public:
    explicit ResourceImage(const std::wstring& fileName);
    ~ResourceImage();
    ResourceImage(const ResourceImage&) = delete;
    ResourceImage& operator=(const ResourceImage&) = delete;

    HMODULE Module() const { return module_; }
    const std::wstring& Path() const { return path_; }
    DWORD LoadError() const { return loadError_; }

private:
    std::wstring path_;
    HMODULE module_ = nullptr;
    DWORD loadError_ = 0;
};

// The image every resource test reads: Keyhaven.exe (set by main from the
// command line).
const ResourceImage& Image();
void OpenImage(const std::wstring& fileName);
void CloseImage();

using testsupport::ThreadLanguage;

// LoadStringW into a buffer, as CString::LoadString does; empty when the
// string is missing or empty.
std::wstring LoadText(HMODULE module, UINT id);

// The 16 counted strings of one string block in one language, read from the
// raw resource. found is false when the block does not exist in that language.
struct StringBlock {
    bool found = false;
    bool wellFormed = false;
    std::wstring strings[16];
};
StringBlock ReadStringBlock(HMODULE module, WORD block, LANGID language);

// Languages in which a resource exists.
std::set<LANGID> ResourceLanguages(HMODULE module, LPCWSTR type, LPCWSTR name);
// Integer names of the resources of one type, in the directory's order.
std::vector<WORD> ResourceIds(HMODULE module, LPCWSTR type);
// Integer ids of the resource types present.
std::set<WORD> ResourceTypes(HMODULE module);

// Bytes of one resource in one language; empty when missing.
std::vector<uint8_t> ResourceBytes(HMODULE module, LPCWSTR type, WORD id, LANGID language);

std::string Utf8(const std::wstring& text);

}  // namespace restest
