#pragma once

namespace ov {

// Readies the C library's heap for building a large code model: a few
// heaps, one per busy thread, grown in big steps and backed by huge pages
// where the system offers them on request. On virtual machines a first
// touch of each 4 KB page costs several microseconds, which was the biggest
// single cost of reading a code database or analysing a project. Call it
// once, early in main(), before any thread starts. Does nothing where the
// heap is not glibc's own (other C libraries, sanitizer builds).
void prepareHeapForBulkWork();
// Asks for huge pages on the calling thread's own heap, once per thread:
// called where a thread starts allocating in bulk. Does nothing unless
// the heap was prepared.
void adviseThreadHeap();

} // namespace ov
