// "Quake 3 model" files: a header, then surfaces, each a mesh with its own
// vertex frames, shader (texture) name, triangles and texture coordinates.
// Every surface becomes one object with one material; the frames become the
// model's vertex animation. The type is read-only.
//
// The whole file is read into memory; every count and offset of a surface is
// checked against the file before anything is stored, so a broken surface
// fails the load with its reason instead of reading garbage.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr size_t kHeaderSize = 108;
constexpr size_t kSurfaceHeadSize = 108;  // ident, name, flags, nine fields
constexpr size_t kShaderNameSize = 64;
constexpr size_t kShaderSize = 68;
constexpr size_t kTriangleSize = 12;
constexpr size_t kVertexRecordSize = 8;
constexpr size_t kTexcoordSize = 8;
constexpr double kCoordinateScale = 0.015625;  // 1/64

struct SurfaceHead {
  char name[65];
  uint32_t frames, shaders, vertexs, triangles;
  uint32_t triangles_at, shaders_at, texcoords_at, frames_at, end_at;
};

bool IsIdent(const uint8_t* p) { return p && std::memcmp(p, "IDP3", 4) == 0; }

// Whether `count` records of `size` bytes starting `offset` bytes after the
// surface start at `start` lie inside the file.
bool BlockFits(const ByteReader& file, size_t start, uint32_t offset, uint64_t count, uint64_t size) {
  uint64_t bytes = 0, begin = 0, end = 0;
  return CheckedMul(count, size, bytes) && CheckedAdd(start, offset, begin) && CheckedAdd(begin, bytes, end) &&
         end <= file.Size();
}

// Reads and checks the head of the surface at `start`; 0 (logged) when the
// surface cannot be read whole.
int ReadSurfaceHead(ByteReader& file, size_t start, uint32_t number, SurfaceHead* head) {
  if (!file.Seek(start) || !file.Fits(kSurfaceHeadSize)) {
    LogFormatted(LOG_ERROR, "LoadMd3: surface %" PRIu32 " lies beyond the end of the file\n", number);
    return 0;
  }
  if (!IsIdent(file.Take(4))) {
    LogFormatted(LOG_ERROR, "LoadMd3: surface %" PRIu32 " does not begin with IDP3\n", number);
    return 0;
  }
  file.ReadFixedString(head->name, sizeof head->name, 64);
  file.Skip(4);  // flags
  uint32_t* fields[] = {&head->frames,       &head->shaders,   &head->vertexs,  &head->triangles, &head->triangles_at,
                        &head->shaders_at,   &head->texcoords_at, &head->frames_at, &head->end_at};
  for (uint32_t* field : fields) *field = file.U32Le();
  LogFormatted(LOG_DETAIL, "  obj %lu. [%s], p:%lu v:%lu f:%lu t:%lu\n", static_cast<unsigned long>(number),
               head->name, static_cast<unsigned long>(head->triangles), static_cast<unsigned long>(head->vertexs),
               static_cast<unsigned long>(head->frames), static_cast<unsigned long>(head->shaders));
  const char* broken = nullptr;
  if (head->vertexs > 0 && head->frames == 0)
    broken = "has vertexs but no frames";
  else if (!BlockFits(file, start, head->frames_at, uint64_t{head->frames} * head->vertexs, kVertexRecordSize))
    broken = "vertex frames lie beyond the end of the file";
  else if (!BlockFits(file, start, head->triangles_at, head->triangles, kTriangleSize))
    broken = "triangles lie beyond the end of the file";
  else if (!BlockFits(file, start, head->texcoords_at, head->vertexs, kTexcoordSize))
    broken = "texture coordinates lie beyond the end of the file";
  else if (head->shaders > 0 && !BlockFits(file, start, head->shaders_at, 1, kShaderSize))
    broken = "shader lies beyond the end of the file";
  else if (head->end_at < kSurfaceHeadSize || !BlockFits(file, start, head->end_at, 0, 0))
    broken = "end lies outside the file";
  if (broken) {
    LogFormatted(LOG_ERROR, "LoadMd3: surface %" PRIu32 " [%s]: %s\n", number, head->name, broken);
    return 0;
  }
  return 1;
}

// Frame 0 gives the vertexs, every frame its animation positions. A surface
// with fewer frames than the model so far repeats its last frame.
int ReadSurfaceFrames(ModelData& model, ByteReader& file, size_t start, const SurfaceHead& head) {
  const uint32_t first_vertex = model.vertexs_count;
  if (!model.SetAnimVertCount(first_vertex + head.vertexs) ||
      (head.frames > model.anim_frames_count && !model.SetAnimFramesCount(head.frames))) {
    LogMessage("LoadMd3: the vertex animation does not fit in memory\n", LOG_ERROR);
    return 0;
  }
  file.Seek(start + uint64_t{head.frames_at});
  for (uint32_t f = 0; f < head.frames; ++f) {
    for (uint32_t v = 0; v < head.vertexs; ++v) {
      const double x = file.I16Le() * kCoordinateScale;
      const double y = file.I16Le() * kCoordinateScale;
      const double z = file.I16Le() * kCoordinateScale;
      file.Skip(2);  // packed normal
      if (f == 0) model.StoreVertex(x, y, z);
      model.Animation_SetVertexPos(f, v, x, y, z);
    }
    if (f == 0 && model.vertexs_count != first_vertex + head.vertexs) {
      LogFormatted(LOG_ERROR, "LoadMd3: surface [%s]: too many vertexs for the model\n", head.name);
      return 0;
    }
  }
  for (uint32_t f = head.frames; f < model.anim_frames_count; ++f) {
    for (uint32_t v = 0; v < head.vertexs; ++v) {
      double x = 0, y = 0, z = 0;
      model.Animation_GetVertexPos(static_cast<float>(head.frames - 1), first_vertex + v, x, y, z);
      model.Animation_SetVertexPos(f, v, x, y, z);
    }
  }
  return 1;
}

// The texture file's stem from a shader name: the part after the last path
// separator, cut after its last dot (a dot is added when it has none).
void ShaderFileStem(const char* shader, char* stem, size_t capacity) {
  const char* name = shader;
  for (const char* p = shader; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  const char* dot = std::strrchr(name, '.');
  const size_t length = dot ? static_cast<size_t>(dot - name) : std::strlen(name);
  std::snprintf(stem, capacity, "%.*s.", static_cast<int>(length), name);
}

// The material of the surface's shader: the first material that uses the
// shader's texture, or a new one. -1 when the surface has no shader.
int32_t SurfaceMaterial(ModelData& model, ByteReader& file, size_t start, const SurfaceHead& head) {
  if (head.shaders == 0) {
    LogFormatted(LOG_DETAIL, " surface [%s] has no shader\n", head.name);
    return kNoMaterial;
  }
  file.Seek(start + uint64_t{head.shaders_at});
  char shader[kShaderNameSize + 1];
  file.ReadFixedString(shader, sizeof shader, kShaderNameSize);
  char stem[kShaderNameSize + 2];
  ShaderFileStem(shader, stem, sizeof stem);
  if (std::strcmp(stem, ".") == 0) {
    // Skins assigned from outside the file: nothing to look for.
    LogFormatted(LOG_DETAIL, " surface [%s] has an empty shader name\n", head.name);
    return kNoMaterial;
  }
  LogFormatted(LOG_DETAIL, " loading texture: [%s]\n", stem);
  const char* folder = model.settings.file_folder;
  const int folder_length = static_cast<int>(strnlen(folder, sizeof model.settings.file_folder));
  char path[sizeof model.settings.file_folder + sizeof stem + 4];
  std::snprintf(path, sizeof path, "%.*s%stga", folder_length, folder, stem);
  int32_t texture = model.StoreTextureFromBitmapFile(path);
  if (texture < 0) {
    std::snprintf(path, sizeof path, "%.*s%sjpg", folder_length, folder, stem);
    texture = model.LoadTexture(path);
  }
  for (uint32_t m = 0; m < model.materials_count; ++m) {
    model.GetMaterial(m);
    if (model.material.texture == texture) return static_cast<int32_t>(m);
  }
  model.ResetMaterial();
  model.material.texture = texture;
  stem[std::strlen(stem) - 1] = '\0';  // the name without the added dot
  model.SetMaterialName(stem);
  return model.AddMaterial();
}

// Triangles are stored with their second and third corners swapped (the
// file winds them the other way). Triangles naming vertexs the surface does
// not have are dropped.
void ReadSurfaceTriangles(ModelData& model, ByteReader& file, size_t start, const SurfaceHead& head,
                          int32_t material) {
  file.Seek(start + uint64_t{head.triangles_at});
  uint32_t stored = 0, dropped = 0;
  for (uint32_t t = 0; t < head.triangles; ++t) {
    const uint32_t a = file.U32Le(), b = file.U32Le(), c = file.U32Le();
    if (a >= head.vertexs || b >= head.vertexs || c >= head.vertexs) {
      ++dropped;
      continue;
    }
    const uint32_t corners[3] = {a, c, b};
    if (!model.StorePolygon(3, corners)) break;
    model.SetPolygonMaterial(stored++, material);
  }
  if (dropped)
    LogFormatted(LOG_ERROR, "LoadMd3: surface [%s]: %" PRIu32 " triangles name vertexs it does not have, dropped\n",
                 head.name, dropped);
}

void ReadSurfaceTexcoords(ModelData& model, ByteReader& file, size_t start, const SurfaceHead& head) {
  file.Seek(start + uint64_t{head.texcoords_at});
  for (uint32_t v = 0; v < head.vertexs; ++v) {
    const double s = file.F32Le();
    const double t = file.F32Le();
    model.SetVertexTexcoord(v, s, t);
  }
}

}  // namespace

int LoadMd3(ModelData& model, FILE* file) {
  LogMessage("Loading md3 ...\n", LOG_MAJOR);
  model.relative_writes = 1;
  model.SetModelOrientation(4, 0, 3);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadMd3")) return 0;
  ByteReader reader(bytes);
  if (!IsIdent(reader.Peek(4))) {
    LogMessage("Bad ident\n", LOG_ERROR);
    return 0;
  }
  if (!reader.Fits(kHeaderSize)) {
    LogMessage("LoadMd3: the header is cut short\n", LOG_ERROR);
    return 0;
  }
  reader.Seek(84);
  const uint32_t surfaces = reader.U32Le();
  reader.Seek(100);
  const uint32_t first_surface = reader.U32Le();
  LogFormatted(LOG_DETAIL, " %lu objects\n", static_cast<unsigned long>(surfaces));
  if (!reader.Seek(first_surface) || !reader.Fits(surfaces, kSurfaceHeadSize)) {
    LogFormatted(LOG_ERROR, "LoadMd3: %" PRIu32 " surfaces at %" PRIu32 " do not fit in the file\n", surfaces,
                 first_surface);
    return 0;
  }

  size_t start = first_surface;
  for (uint32_t s = 0; s < surfaces; ++s) {
    SurfaceHead head{};
    if (!ReadSurfaceHead(reader, start, s + 1, &head)) return 0;
    model.SetObjectName(head.name);
    if (!ReadSurfaceFrames(model, reader, start, head)) return 0;
    const int32_t material = SurfaceMaterial(model, reader, start, head);
    ReadSurfaceTriangles(model, reader, start, head, material);
    ReadSurfaceTexcoords(model, reader, start, head);
    start += head.end_at;
    model.NewObject();
  }
  model.FinishObjects();

  model.SkeletOwningType = so_vertexs;
  model.vertex_animation_present = 1;
  model.vert_texcoords_present = 1;
  model.poly_materials_present = 1;
  LogMessage("... md3 loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
