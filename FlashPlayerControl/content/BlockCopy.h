#pragma once

#include <cstddef>

// Copies count bytes into memory that has just been allocated. Writing fresh memory is
// dominated by the system handing out its pages one fault at a time; for a large block the
// second half is copied by a second thread, so the faults are taken on two processors at once.
// Small copies, and machines with one processor, copy in place.
void CopyIntoNewMemory(void* to, const void* from, size_t count);
