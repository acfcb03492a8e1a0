// seeds: models/ase
// 3ds max ASCII loader on arbitrary bytes: never a crash, a hang or a read
// past the data; what loads is checked and saved again.
#include "core/file_stream.h"
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

namespace {

// The stream borrows the caller's file and gives it back unclosed.
int LoadThroughStream(zepcon::ModelData& model, FILE* file) {
  zepcon::FileStream stream;
  if (!stream.Attach(file, zepcon::FileStream::kText, zepcon::FileStream::kRead)) return 0;
  const int result = zepcon::LoadAse(model, stream);
  stream.Detach();
  return result;
}

int SaveThroughStream(zepcon::ModelData& model, FILE* file) {
  zepcon::FileStream stream;
  if (!stream.Attach(file, zepcon::FileStream::kText, zepcon::FileStream::kWrite)) return 0;
  const int result = zepcon::SaveAse(model, stream);
  stream.Detach();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, LoadThroughStream, SaveThroughStream);
}
