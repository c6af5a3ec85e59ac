// tarvik-payload's inspection and packing commands; each returns the process exit code.
#pragma once

#include <cstdint>

// list FILE: stub size and entry count, then "key<TAB>size" per entry in archive order.
int ListPayload(const char* path);
// extract FILE KEY OUT: one entry's bytes to OUT.
int ExtractEntry(const char* path, const char* key, const char* out);
// pack STUB OUT KEY=PATH...: STUB followed by a payload of those files, deflated on `threads`
// threads (0: one per processor).
int PackFiles(const char* stub, const char* out, int count, char** pairs, uint32_t threads);
