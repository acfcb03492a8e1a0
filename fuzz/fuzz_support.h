// Shared set-up of the fuzz targets: a quiet log, the input as a FILE*, and
// the one routine every loader target runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zepcon {
class BitmapData;
class ModelData;
}  // namespace zepcon

namespace zepcon::fuzz {

// Silences the log once per process.
void QuietLog();

// The fuzzer's bytes as a read-only file in memory (closed by the caller),
// at its start; nullptr when the platform refuses one.
FILE* OpenBytes(const uint8_t* data, size_t size);

using PictureCodec = int (*)(BitmapData&, FILE*);
using ModelCodec = int (*)(ModelData&, FILE*);

// Loads the bytes; what loads must be whole (every pixel readable, in its
// own layout and in the working layout) and is saved again when the format
// has a saver.
int FuzzPictureLoader(const uint8_t* data, size_t size, PictureCodec load, PictureCodec save);

// Sets up the freshly initialised model before loading (names, options);
// `size` is the input's length, for choices that should vary with it.
using PrepareModel = void (*)(ModelData& model, size_t size);

// Loads the bytes; what loads is checked and saved again when `save` is
// given. The model is placed in a folder that does not exist (see below);
// `prepare`, when given, runs on the empty model next.
int FuzzModelLoader(const uint8_t* data, size_t size, ModelCodec load, ModelCodec save,
                    PrepareModel prepare = nullptr);

// Names the file being loaded as `name`.`extension` in a folder that does
// not exist, so companion files it names never reach the machine's files.
void PlaceInMissingFolder(ModelData& model, const char* name, const char* extension);

}  // namespace zepcon::fuzz
