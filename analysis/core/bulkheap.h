#pragma once

namespace ov {

// Readies the C library's heap for building a large code model: one heap
// for all threads, grown in big steps and backed by huge pages where the
// system offers them on request. On virtual machines a first touch of each
// 4 KB page costs several microseconds, which was the biggest single cost
// of reading a code database or analysing a project. Call it once, early in
// main(), before any thread starts. Does nothing where the heap is not
// glibc's own (other C libraries, sanitizer builds).
void prepareHeapForBulkWork();
// Whether prepareHeapForBulkWork() changed the heap: then threads that
// allocate much take turns on its one lock.
bool heapPreparedForBulkWork();

} // namespace ov
