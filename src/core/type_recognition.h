// Recognition of a file's type from its first bytes and from its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zepcon {

constexpr size_t kHeaderBytes = 300;

// Random access to the file beyond the header, for the one test that needs
// it. Returns 1 when all `count` bytes at `offset` could be read.
using FileReadAt = int (*)(void* context, uint64_t offset, void* destination, size_t count);

// Applies the header tests to the first bytes of a file of `file_size`
// bytes. `header` holds min(file_size, 300) bytes.
int TypeFromHeaderBytes(const uint8_t* header, size_t header_length, uint64_t file_size,
                        FileReadAt read_at, void* context);

// Reads the header of an open binary stream (moving its position) and
// applies the tests.
int TypeFromHeaderOfFile(FILE* file);

int TypeFromExtensionOfName(const char* file_name);

// Header first; the extension only for types that need no header.
int DetermineTypeOfFile(FILE* file, const char* file_name);
// Opens the file, determines its type and closes it again; TYPE_UNKNOWN
// with an error in the log when it cannot be opened.
int DetermineTypeOfPath(const char* path);

}  // namespace zepcon
