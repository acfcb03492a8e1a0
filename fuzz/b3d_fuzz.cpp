// seeds: models/b3d models/b3d/castel models/b3d/detail models/b3d/ninja models/b3d/turtle1
// Blitz 3D loader on arbitrary bytes: never a crash, a hang or a read past
// the data; what loads is checked and saved again.
#include "core/file_stream.h"
#include "formats3d/model_codecs.h"
#include "fuzz_support.h"

namespace {

// The codecs take a stream over the file; the stream lends it back.
int Load(zepcon::ModelData& model, FILE* file) {
  zepcon::FileStream stream;
  stream.Attach(file, zepcon::FileStream::kBinary, zepcon::FileStream::kRead);
  const int result = zepcon::LoadB3d(model, stream);
  stream.Detach();
  return result;
}

int Save(zepcon::ModelData& model, FILE* file) {
  zepcon::FileStream stream;
  stream.Attach(file, zepcon::FileStream::kBinary, zepcon::FileStream::kWrite);
  const int result = zepcon::SaveB3d(model, stream);
  stream.Detach();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return zepcon::fuzz::FuzzModelLoader(data, size, Load, Save);
}
