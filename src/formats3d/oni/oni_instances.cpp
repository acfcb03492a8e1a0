#include "formats3d/oni/oni_instances.h"

#include <strings.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/byte_reader.h"
#include "core/companion_files.h"
#include "core/log.h"
#include "model/model_data.h"

namespace zepcon::oni {

const ArrayLayout kPoints = {"PNTA", 0x3C, false, 0x40, 12};
const ArrayLayout kVectors = {"VCRA", 0x1C, false, 0x20, 12};
const ArrayLayout kTexcoords = {"TXCA", 0x1C, false, 0x20, 8};
const ArrayLayout kIndexes = {"IDXA", 0x1C, false, 0x20, 4};
const ArrayLayout kBodyParts = {"TRGA", 0x1E, true, 0x20, 4};
const ArrayLayout kTranslations = {"TRTA", 0x1E, true, 0x20, 12};
const ArrayLayout kHierarchy = {"TRIA", 0x1E, true, 0x20, 4};
const ArrayLayout kBodyTextures = {"TRMA", 0x1E, true, 0x20, 4};

namespace {

// Geometry links, after the id, level and a flags field.
constexpr size_t kPointsLink = 0x0C;
constexpr size_t kVertexNormalsLink = 0x10;
constexpr size_t kTexcoordsLink = 0x18;
constexpr size_t kStripsLink = 0x1C;
constexpr size_t kTextureLink = 0x24;
constexpr size_t kGeometrySize = 0x28;
// In a strip index, the high bit starts a new strip.
constexpr uint32_t kStripStart = 0x80000000u;

const char* LastComponent(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

bool HasExtension(const std::string& path, const char* type) {
  const char* name = LastComponent(path);
  const char* dot = std::strrchr(name, '.');
  return dot && strcasecmp(dot + 1, type) == 0;
}

// The material showing texture `index`: the first that does, or a new one.
int32_t MaterialOfTexture(ModelData& model, int32_t index, const std::string& name) {
  for (uint32_t m = 0; m < model.materials_count; ++m) {
    model.GetMaterial(m);
    if (model.material.texture == index) return static_cast<int32_t>(m);
  }
  model.ResetMaterial();
  model.material.texture = index;
  model.SetMaterialName(name.c_str());
  return model.AddMaterial();
}

// The texture of the geometry: resource `number` loaded as a picture, its
// material's index; -1 (logged) when there is none to be had.
int32_t TextureMaterial(ModelData& model, uint32_t number) {
  if (number == 0) return kNoMaterial;
  const std::string path = FindInstance(model, number, "TXMP");
  if (path.empty()) return kNoMaterial;
  const int32_t texture = model.StoreTextureFromBitmapFile(path.c_str());
  if (texture < 0) {
    LogFormatted(LOG_ERROR, "oni: texture %05" PRIu32 " could not be loaded, left out\n", number);
    return kNoMaterial;
  }
  std::string name = ResourceName(path);
  if (name.empty()) {
    char numbered[16];
    std::snprintf(numbered, sizeof numbered, "txmp%05" PRIu32, number);
    name = numbered;
  }
  return MaterialOfTexture(model, texture, name);
}

// Stores the strips' triangles over the `points` vertexes of the current
// object; alternate triangles of a strip turn the other way. Triangles that
// repeat a corner (joins between strips) are passed over; those naming
// missing points are dropped and counted.
uint32_t StoreStrips(ModelData& model, ByteReader& indexes, uint32_t count, uint32_t points, int32_t material) {
  uint32_t window[2] = {0, 0};
  uint32_t in_strip = 0, dropped = 0, stored = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t value = indexes.U32Le();
    const uint32_t index = value & ~kStripStart;
    if (value & kStripStart) in_strip = 0;
    if (in_strip >= 2) {
      const uint32_t k = in_strip - 2;
      uint32_t corners[3] = {window[0], window[1], index};
      if (k % 2) std::swap(corners[0], corners[1]);
      if (corners[0] >= points || corners[1] >= points || corners[2] >= points) {
        ++dropped;
      } else if (corners[0] != corners[1] && corners[1] != corners[2] && corners[0] != corners[2]) {
        if (!model.StorePolygon(3, corners)) break;
        model.SetPolygonMaterial(stored++, material);
      }
    }
    window[0] = window[1];
    window[1] = index;
    ++in_strip;
  }
  if (dropped)
    LogFormatted(LOG_ERROR, "oni: %" PRIu32 " triangles name points the geometry does not have, dropped\n", dropped);
  return stored;
}

}  // namespace

std::string ResourceName(const std::string& path) {
  const std::string name = LastComponent(path);
  const size_t dash = name.find('-');
  if (dash == std::string::npos) return {};
  const size_t dot = name.find_last_of('.');
  const size_t end = dot == std::string::npos || dot < dash ? name.size() : dot;
  return name.substr(dash + 1, end - dash - 1);
}

std::string FindInstance(ModelData& model, uint32_t number, const char* type, bool log_missing) {
  if (number == 0 || number >= kInstanceNumberLimit) {
    if (log_missing) LogFormatted(LOG_ERROR, "oni: %s link %" PRIu32 " is no resource number\n", type, number);
    return {};
  }
  if (!model.companions) {
    if (log_missing) LogMessage("oni: no access to companion files\n", LOG_ERROR);
    return {};
  }
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%05" PRIu32 "-", number);
  const std::string found = model.companions->FindFileWithPrefix(model.settings.file_folder, prefix);
  if (found.empty()) {
    if (log_missing) LogFormatted(LOG_ERROR, "oni: %s %05" PRIu32 " not found in the folder, skipped\n", type, number);
    return {};
  }
  if (!HasExtension(found, type)) {
    if (log_missing)
      LogFormatted(LOG_ERROR, "oni: resource %05" PRIu32 " [%s] is not a %s, skipped\n", number, LastComponent(found),
                   type);
    return {};
  }
  LogFormatted(LOG_DETAIL, " %s %05" PRIu32 ": [%s]\n", type, number, LastComponent(found));
  return found;
}

int ReadInstance(ModelData& model, uint32_t number, const char* type, size_t min_size, Instance& instance) {
  instance.path = FindInstance(model, number, type);
  if (instance.path.empty()) return 0;
  instance.number = number;
  FILE* file = std::fopen(instance.path.c_str(), "rb");
  if (!file) {
    LogFormatted(LOG_ERROR, "oni: cannot open [%s]\n", instance.path.c_str());
    return 0;
  }
  const bool read = ReadRestOfFile(file, instance.bytes, "oni");
  std::fclose(file);
  if (!read) return 0;
  if (instance.bytes.size() < min_size) {
    LogFormatted(LOG_ERROR, "oni: %s %05" PRIu32 " is cut short (%zu bytes)\n", type, number, instance.bytes.size());
    return 0;
  }
  return 1;
}

int ReadArray(ModelData& model, uint32_t number, const ArrayLayout& layout, Instance& instance, uint32_t& count,
              size_t& first) {
  if (!ReadInstance(model, number, layout.type, layout.first_at, instance)) return 0;
  ByteReader reader(instance.bytes);
  reader.Seek(layout.count_at);
  count = layout.count_16 ? reader.U16Le() : reader.U32Le();
  first = layout.first_at;
  reader.Seek(first);
  if (!reader.Fits(count, layout.element_size)) {
    LogFormatted(LOG_ERROR, "oni: %s %05" PRIu32 ": %" PRIu32 " elements pass the end of the file\n", layout.type,
                 number, count);
    return 0;
  }
  return 1;
}

int AddGeometry(ModelData& model, const std::vector<uint8_t>& geometry, const char* name, const double offset[3],
                uint32_t texture) {
  if (geometry.size() < kGeometrySize) {
    LogFormatted(LOG_ERROR, "oni: geometry [%s] is cut short\n", name);
    return 0;
  }
  const uint8_t* links = geometry.data();
  Instance points_file;
  uint32_t points = 0;
  size_t first = 0;
  if (!ReadArray(model, LinkNumber(LoadLe32(links + kPointsLink)), kPoints, points_file, points, first) ||
      points == 0) {
    LogFormatted(LOG_ERROR, "oni: geometry [%s] has no points\n", name);
    return 0;
  }
  Instance strips_file;
  uint32_t indexes = 0;
  size_t strips_first = 0;
  if (!ReadArray(model, LinkNumber(LoadLe32(links + kStripsLink)), kIndexes, strips_file, indexes, strips_first)) {
    LogFormatted(LOG_ERROR, "oni: geometry [%s] has no triangles\n", name);
    return 0;
  }

  model.SetObjectName(name);
  const uint32_t first_vertex = model.vertexs_count;
  ByteReader reader(points_file.bytes);
  reader.Seek(first);
  for (uint32_t p = 0; p < points; ++p) {
    const double x = reader.F32Le(), y = reader.F32Le(), z = reader.F32Le();
    model.StoreVertex(x + offset[0], y + offset[1], z + offset[2]);
  }
  if (model.vertexs_count != first_vertex + points) {
    LogFormatted(LOG_ERROR, "oni: geometry [%s]: too many points for the model\n", name);
    return 0;
  }

  // Normals and coordinates run parallel to the points; others are left out.
  Instance normals_file;
  uint32_t normals = 0;
  const uint32_t normals_link = LinkNumber(LoadLe32(links + kVertexNormalsLink));
  if (normals_link && ReadArray(model, normals_link, kVectors, normals_file, normals, first)) {
    if (normals != points) {
      LogFormatted(LOG_ERROR, "oni: geometry [%s]: %" PRIu32 " normals for %" PRIu32 " points, left out\n", name,
                   normals, points);
    } else {
      model.vert_normals_present = 1;
      ByteReader vectors(normals_file.bytes);
      vectors.Seek(first);
      for (uint32_t p = 0; p < points; ++p) {
        Vec3d normal{};
        normal.x = vectors.F32Le();
        normal.y = vectors.F32Le();
        normal.z = vectors.F32Le();
        model.SetVertexNormal(p, normal);
      }
    }
  }
  Instance texcoords_file;
  uint32_t texcoords = 0;
  const uint32_t texcoords_link = LinkNumber(LoadLe32(links + kTexcoordsLink));
  if (texcoords_link && ReadArray(model, texcoords_link, kTexcoords, texcoords_file, texcoords, first)) {
    if (texcoords != points) {
      LogFormatted(LOG_ERROR, "oni: geometry [%s]: %" PRIu32 " coordinates for %" PRIu32 " points, left out\n", name,
                   texcoords, points);
    } else {
      model.vert_texcoords_present = 1;
      ByteReader coordinates(texcoords_file.bytes);
      coordinates.Seek(first);
      for (uint32_t p = 0; p < points; ++p) {
        const double u = coordinates.F32Le();
        const double v = coordinates.F32Le();
        model.SetVertexTexcoord(p, u, v);
      }
    }
  }

  const int32_t material = TextureMaterial(model, texture ? texture : LinkNumber(LoadLe32(links + kTextureLink)));
  if (material >= 0) model.poly_materials_present = 1;
  ByteReader strips(strips_file.bytes);
  strips.Seek(strips_first);
  const uint32_t stored = StoreStrips(model, strips, indexes, points, material);
  LogFormatted(LOG_DETAIL, " geometry [%s]: %" PRIu32 " points, %" PRIu32 " triangles\n", name, points, stored);
  model.NewObject();
  return 1;
}

}  // namespace zepcon::oni
