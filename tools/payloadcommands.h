// tarvik-payload's inspection and packing commands; each returns the process exit code.
#pragma once

#include "payloadfiles.h"

// list FILE: stub size, entry count and the payload's compression, then "key<TAB>size" per entry in archive order.
int ListPayload(const char* path);
// extract FILE KEY OUT: one entry's bytes to OUT.
int ExtractEntry(const char* path, const char* key, const char* out);
// pack STUB OUT KEY=PATH...: STUB followed by a payload of those files, sealed as `sealing` says.
int PackFiles(const char* stub, const char* out, int count, char** pairs, const Sealing& sealing);
