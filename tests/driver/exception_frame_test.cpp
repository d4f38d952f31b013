// The drivers' exception frame, run in user mode, where the system finds the
// frame as in the kernel (on i686 the fs:[0] chain, on x64 the unwind tables):
// every fault on unusable memory, and every raised status, comes back as its
// code; nothing crashes, and the chain, the stack and the caller's registers are
// left as they were found. The same program is built for both targets.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <excpt.h>
#include <intrin.h>

#include "lw_guard.h"
#include "unusable_page.h"

namespace {

const long kSuccess = 0;
const long kAccessViolation = static_cast<long>(0xC0000005);
const long kGuardPage = static_cast<long>(0x80000001);
const long kInPageError = static_cast<long>(0xC0000006);

#ifdef _WIN64
// x64 has no frame chain: what must come back as found are the stack pointer and
// the nonvolatile registers (ManyFaultsLeaveTheStackAndChainAsFound, FaultsKeepTheCallersRegisters).
void* ChainHead()
{
    return nullptr;
}
#define EXPECT_CHAIN_AS_FOUND(head, what) (void)(head)
#else
void* ChainHead()
{
    return reinterpret_cast<void*>(__readfsdword(0));
}
#define EXPECT_CHAIN_AS_FOUND(head, what) EXPECT_EQ(head, ChainHead()) << what
#endif

TEST(ExceptionFrame, CopiesWithUnusablePagesReturnTheFaultsCode)
{
    // The code of copying from the page, and of copying into it.
    const struct { const char* what; Page kind; long readStatus, writeStatus; } pages[] = {
        {"no access", Page::kNoAccess, kAccessViolation, kAccessViolation},
        {"guard page", Page::kGuard, kGuardPage, kGuardPage},
        {"freed", Page::kFreed, kAccessViolation, kAccessViolation},
        {"reserved, not committed", Page::kReservedOnly, kAccessViolation, kAccessViolation},
        {"read only", Page::kReadOnly, kSuccess, kAccessViolation},
    };
    for (const auto& p : pages) {
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
            EXPECT_CHAIN_AS_FOUND(head, p.what << ": the frame is off the chain");
            if (p.kind != Page::kFreed) VirtualFree(page, 0, MEM_RELEASE);
        }
    }
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

TEST(ExceptionFrame, RaisedStatusesRoutineResultsAndUsableCopiesComeBack)
{
    DWORD code = static_cast<DWORD>(kInPageError);
    EXPECT_EQ(kInPageError, LwGuardedCall(RaiseNonContinuable, &code));
    long value = 0x1234;
    EXPECT_EQ(0x1234, LwGuardedCall(ReturnTheContext, &value));
    const char from[] = "latched";
    char to[sizeof from] = {};
    void* head = ChainHead();
    EXPECT_EQ(kSuccess, LwGuardedCopy(to, from, sizeof from));
    EXPECT_STREQ(from, to);
    EXPECT_CHAIN_AS_FOUND(head, "");
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

}  // namespace

int g_foreignFrameUnwound = 0;

extern "C" EXCEPTION_DISPOSITION __cdecl ForeignHandler(EXCEPTION_RECORD* exception, void*, CONTEXT*, void*)
{
    const DWORD unwinding = 0x2;  // EXCEPTION_UNWINDING
    if (exception->ExceptionFlags & unwinding) ++g_foreignFrameUnwound;
    return ExceptionContinueSearch;
}

// A frame of someone else's (as a kernel routine's own __try/__finally) that lets the fault pass:
// the catching frame must unwind it, calling its handler once with the unwinding flag.
#ifdef _WIN64
// On x64 the frame is a function whose unwind data names ForeignHandler for
// exceptions and unwinds both.
extern "C" long FaultUnderAForeignFrame(void*);
asm(R"(
    .text
    .globl FaultUnderAForeignFrame
    .def FaultUnderAForeignFrame; .scl 2; .type 32; .endef
    .seh_proc FaultUnderAForeignFrame
FaultUnderAForeignFrame:
    .seh_handler ForeignHandler, @except, @unwind
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movl $1, 0
    nop
    xorl %eax, %eax
    addq $40, %rsp
    ret
    .seh_endproc
)");

// A routine that saves the nonvolatile registers as the convention demands,
// overwrites them all and faults; and a caller that fills them with marks, calls
// it through LwGuardedCall and says whether every mark came back (the unwind
// restores them from the routine's saved copies).
extern "C" int GuardedCallKeepsRegisters(long* status);
asm(R"(
    .macro PUSH_NONVOLATILE
    .irp reg, rbx, rbp, rsi, rdi, r12, r13, r14, r15
    pushq %\reg
    .seh_pushreg %\reg
    .endr
    .endm
    .macro POP_NONVOLATILE
    .irp reg, r15, r14, r13, r12, rdi, rsi, rbp, rbx
    popq %\reg
    .endr
    .endm

    .text
    .def ClobberAndFault; .scl 3; .type 32; .endef
    .seh_proc ClobberAndFault
ClobberAndFault:
    PUSH_NONVOLATILE
    subq $8, %rsp
    .seh_stackalloc 8
    .seh_endprologue
    .irp reg, rbx, rbp, rsi, rdi, r12, r13, r14, r15
    movq $-1, %\reg
    .endr
    movl $1, 0
    nop
    addq $8, %rsp
    POP_NONVOLATILE
    ret
    .seh_endproc

    .globl GuardedCallKeepsRegisters
    .def GuardedCallKeepsRegisters; .scl 2; .type 32; .endef
    .seh_proc GuardedCallKeepsRegisters
GuardedCallKeepsRegisters:
    PUSH_NONVOLATILE
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %rcx, 32(%rsp)
    .set mark, 0x1111111111111111
    .irp reg, rbx, rbp, rsi, rdi, r12, r13, r14, r15
    movabsq $mark, %\reg
    .set mark, mark + 0x1111111111111111
    .endr
    leaq ClobberAndFault(%rip), %rcx
    xorl %edx, %edx
    call LwGuardedCall
    movq 32(%rsp), %rcx
    movl %eax, (%rcx)
    xorl %eax, %eax
    .set mark, 0x1111111111111111
    .irp reg, rbx, rbp, rsi, rdi, r12, r13, r14, r15
    movabsq $mark, %rdx
    cmpq %rdx, %\reg
    jne 1f
    .set mark, mark + 0x1111111111111111
    .endr
    movl $1, %eax
1:
    addq $40, %rsp
    POP_NONVOLATILE
    ret
    .seh_endproc
)");
#else
__attribute__((noinline, optimize("no-omit-frame-pointer"))) long FaultUnderAForeignFrame(void*)
{
    __try1(ForeignHandler)
    *static_cast<volatile int*>(nullptr) = 1;
    __except1
    return kSuccess;
}
#endif

namespace {

TEST(ExceptionFrame, FramesNest)
{
    void* head = ChainHead();
    Nested nested{0, 0};
    EXPECT_EQ(7, LwGuardedCall(FaultInsideAnInnerFrame, &nested));
    EXPECT_EQ(kAccessViolation, nested.innerStatus);
    EXPECT_EQ(1, nested.afterInner);
    EXPECT_CHAIN_AS_FOUND(head, "");
    g_foreignFrameUnwound = 0;
    EXPECT_EQ(kAccessViolation, LwGuardedCall(FaultUnderAForeignFrame, nullptr));
    EXPECT_EQ(1, g_foreignFrameUnwound) << "the frame between was unwound";
    EXPECT_CHAIN_AS_FOUND(head, "");
}

#ifdef _WIN64
TEST(ExceptionFrame, FaultsKeepTheCallersRegisters)
{
    long status = 0;
    EXPECT_EQ(1, GuardedCallKeepsRegisters(&status)) << "a nonvolatile register came back changed";
    EXPECT_EQ(kAccessViolation, status);
}
#endif

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
    EXPECT_CHAIN_AS_FOUND(head, "");
}

}  // namespace
