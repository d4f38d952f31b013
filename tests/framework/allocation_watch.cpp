#include "allocation_watch.h"

#include <cstdlib>
#include <new>

namespace allocwatch {
namespace {

struct Entry {
    const void* p;
    int deletes;
};

const int kMaxWatched = 64;
Entry g_watched[kMaxWatched];
int g_count = 0;

Entry* Find(const void* p)
{
    for (int i = 0; i < g_count; ++i) {
        if (g_watched[i].p == p) return &g_watched[i];
    }
    return nullptr;
}

}  // namespace

void Watch(const void* p)
{
    if (Find(p) == nullptr && g_count < kMaxWatched) g_watched[g_count++] = Entry{p, 0};
}

int DeleteCount(const void* p)
{
    Entry* entry = Find(p);
    return entry != nullptr ? entry->deletes : -1;
}

void Reset() { g_count = 0; }

}  // namespace allocwatch

void* operator new(std::size_t size)
{
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void operator delete(void* p) noexcept
{
    if (p == nullptr) return;
    if (allocwatch::Entry* entry = allocwatch::Find(p)) {
        ++entry->deletes;
        return;
    }
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
