#include "lw_guard.h"

#include <string.h>

typedef struct CopyJob {
    void* destination;
    const void* source;
    unsigned long length;
} CopyJob;

static long CopyInsideFrame(void* context)
{
    const CopyJob* job = (const CopyJob*)context;
    memcpy(job->destination, job->source, job->length);
    return 0;
}

long LwGuardedCopy(void* destination, const void* source, unsigned long length)
{
    CopyJob job;
    job.destination = destination;
    job.source = source;
    job.length = length;
    return LwGuardedCall(CopyInsideFrame, &job);
}
