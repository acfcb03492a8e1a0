// Runs a row's loader or saver on the containers: checks that the row has
// a built codec of the kind held, opens the file in the row's mode and calls
// the codec. A save writes a staged file beside the destination that
// replaces it only when the saver succeeded.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/pipeline/dispatch_table.h"

namespace zepcon {

int RunLoader(int type_index, const char* path, uint32_t held_kind, CodecTarget& target);
// The loader run on an open stream (a file, or bytes in memory); `name`
// names it in messages. The stream stays open.
int RunLoaderOnFile(int type_index, FILE* file, const char* name, uint32_t held_kind, CodecTarget& target);
int RunSaver(int type_index, const char* path, uint32_t held_kind, CodecTarget& target);

}  // namespace zepcon
