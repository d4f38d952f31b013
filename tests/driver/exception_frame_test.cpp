// The drivers' exception frame, run in user mode, where the system walks the
// same fs:[0] chain as in the kernel: every fault on unusable memory, and every
// raised status, comes back as its code; nothing crashes and the chain is left
// as it was found.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <excpt.h>
#include <intrin.h>

#include "lw_guard.h"

namespace {

const long kSuccess = 0;
const long kAccessViolation = static_cast<long>(0xC0000005);
const long kGuardPage = static_cast<long>(0x80000001);
const long kInPageError = static_cast<long>(0xC0000006);

void* ChainHead()
{
    return reinterpret_cast<void*>(__readfsdword(0));
}

enum class Page { kNoAccess, kGuard, kFreed, kReservedOnly, kReadOnly };

struct UnusablePage {
    const char* what;
    Page kind;
    long readStatus;   // copying from the page
    long writeStatus;  // copying into it
};

// A page of the given kind; the caller frees it unless it was freed already.
unsigned char* MakePage(Page kind)
{
    DWORD allocation = kind == Page::kReservedOnly ? MEM_RESERVE : MEM_COMMIT | MEM_RESERVE;
    auto* page = static_cast<unsigned char*>(VirtualAlloc(nullptr, 4096, allocation, PAGE_READWRITE));
    if (page == nullptr) return nullptr;
    DWORD old = 0;
    switch (kind) {
    case Page::kNoAccess: VirtualProtect(page, 4096, PAGE_NOACCESS, &old); break;
    case Page::kGuard: VirtualProtect(page, 4096, PAGE_READWRITE | PAGE_GUARD, &old); break;
    case Page::kReadOnly: VirtualProtect(page, 4096, PAGE_READONLY, &old); break;
    case Page::kFreed: VirtualFree(page, 0, MEM_RELEASE); break;
    case Page::kReservedOnly: break;
    }
    return page;
}

TEST(ExceptionFrame, CopiesWithUnusablePagesReturnTheFaultsCode)
{
    const UnusablePage pages[] = {
        {"no access", Page::kNoAccess, kAccessViolation, kAccessViolation},
        {"guard page", Page::kGuard, kGuardPage, kGuardPage},
        {"freed", Page::kFreed, kAccessViolation, kAccessViolation},
        {"reserved, not committed", Page::kReservedOnly, kAccessViolation, kAccessViolation},
        {"read only", Page::kReadOnly, kSuccess, kAccessViolation},
    };
    for (const UnusablePage& p : pages) {
        for (bool intoPage : {false, true}) {
            unsigned char* page = MakePage(p.kind);
            ASSERT_NE(nullptr, page) << p.what;
            unsigned char local[16];
            std::memset(local, 0x5A, sizeof local);
            void* head = ChainHead();
            // Starting inside the page and running over its end, and starting at its last bytes.
            long status = intoPage ? LwGuardedCopy(page + 4090, local, sizeof local)
                                   : LwGuardedCopy(local, page + 8, sizeof local);
            EXPECT_EQ(intoPage ? p.writeStatus : p.readStatus, status) << p.what << (intoPage ? ", into" : ", from");
            EXPECT_EQ(head, ChainHead()) << p.what << ": the frame is off the chain";
            if (p.kind != Page::kFreed) VirtualFree(page, 0, MEM_RELEASE);
        }
    }
}

TEST(ExceptionFrame, UsableMemoryIsCopied)
{
    const char from[] = "latched";
    char to[sizeof from] = {};
    void* head = ChainHead();
    EXPECT_EQ(kSuccess, LwGuardedCopy(to, from, sizeof from));
    EXPECT_STREQ(from, to);
    EXPECT_EQ(head, ChainHead());
}

long RaiseNonContinuable(void* code)
{
    // As ExRaiseStatus raises: a status with EXCEPTION_NONCONTINUABLE.
    RaiseException(*static_cast<DWORD*>(code), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return kSuccess;
}

long ReturnTheContext(void* value)
{
    return *static_cast<long*>(value);
}

TEST(ExceptionFrame, RaisedStatusesAndRoutineResultsComeBack)
{
    DWORD code = static_cast<DWORD>(kInPageError);
    EXPECT_EQ(kInPageError, LwGuardedCall(RaiseNonContinuable, &code));
    long value = 0x1234;
    EXPECT_EQ(0x1234, LwGuardedCall(ReturnTheContext, &value));
}

struct Nested {
    long innerStatus;
    int afterInner;
};

long FaultInsideAnInnerFrame(void* context)
{
    auto* nested = static_cast<Nested*>(context);
    char byte = 0;
    nested->innerStatus = LwGuardedCopy(&byte, nullptr, 1);
    nested->afterInner = 1;
    // An outer fault after the inner frame is gone is the outer frame's.
    return LwGuardedCopy(&byte, reinterpret_cast<void*>(16), 1) == kAccessViolation ? 7 : -1;
}

int g_foreignFrameUnwound = 0;

EXCEPTION_DISPOSITION __cdecl ForeignHandler(EXCEPTION_RECORD* exception, void*, CONTEXT*, void*)
{
    const DWORD unwinding = 0x2;  // EXCEPTION_UNWINDING
    if (exception->ExceptionFlags & unwinding) ++g_foreignFrameUnwound;
    return ExceptionContinueSearch;
}

// A frame of someone else's (as a kernel routine's own __try/__finally) that lets the fault pass:
// the catching frame must unwind it, calling its handler once with the unwinding flag.
__attribute__((noinline, optimize("no-omit-frame-pointer"))) long FaultUnderAForeignFrame(void*)
{
    __try1(ForeignHandler)
    *static_cast<volatile int*>(nullptr) = 1;
    __except1
    return kSuccess;
}

TEST(ExceptionFrame, FramesNest)
{
    void* head = ChainHead();
    Nested nested{0, 0};
    EXPECT_EQ(7, LwGuardedCall(FaultInsideAnInnerFrame, &nested));
    EXPECT_EQ(kAccessViolation, nested.innerStatus);
    EXPECT_EQ(1, nested.afterInner);
    EXPECT_EQ(head, ChainHead());
    g_foreignFrameUnwound = 0;
    EXPECT_EQ(kAccessViolation, LwGuardedCall(FaultUnderAForeignFrame, nullptr));
    EXPECT_EQ(1, g_foreignFrameUnwound) << "the frame between was unwound";
    EXPECT_EQ(head, ChainHead());
}

// The address of a local of a fresh call: moves if the caller's stack pointer moved.
__attribute__((noinline)) const void* StackMark()
{
    return __builtin_frame_address(0);
}

TEST(ExceptionFrame, ManyFaultsLeaveTheStackAndChainAsFound)
{
    void* head = ChainHead();
    const void* before = StackMark();
    char byte = 0;
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(kAccessViolation, LwGuardedCopy(&byte, nullptr, 1)) << i;
    }
    EXPECT_EQ(before, StackMark()) << "the stack pointer came back after each fault";
    EXPECT_EQ(head, ChainHead());
}

}  // namespace
