// Counts the deletions of chosen heap blocks. The program's operator new and
// delete are replaced: a watched block is never given back to the heap, so
// its address cannot be reused and a second delete is counted, not hidden.
#pragma once

namespace allocwatch {

void Watch(const void* p);
int DeleteCount(const void* p);
// Stops watching (the watched blocks stay allocated).
void Reset();

}  // namespace allocwatch
