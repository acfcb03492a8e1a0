// "Helion" text models: sections of a count line and that many item lines —
// vertexs, triangles (numbered from 1), skeleton joints, bones joining two
// joints, the parent of each bone, the bone of each vertex, turning limits,
// three shape sections, and optional polygon colours.
//
// Joint numbers in the file count from 1 over the file's own joints; the
// model's root joint (index 0, which every model has) is not written, so
// file joint n is model joint n both ways and a bone on the root is written
// with the joint number 0.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/text_scanner.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

void LogEarlyEnd(const char* section, uint32_t read, uint32_t announced) {
  LogFormatted(LOG_ERROR, "Load3df: the file ends early in the %s: %" PRIu32 " of %" PRIu32 " read\n", section, read,
               announced);
}

// Reads `count` triples of coordinates; how many were read whole.
template <typename Store>
uint32_t ReadTriples(TextScanner& scanner, uint32_t count, Store store) {
  for (uint32_t i = 0; i < count; ++i) {
    double values[3];
    if (!scanner.ReadDouble(&values[0]) || !scanner.ReadDouble(&values[1]) || !scanner.ReadDouble(&values[2]))
      return i;
    store(i, values);
  }
  return count;
}

void ReadPolygons(ModelData& model, TextScanner& scanner) {
  uint32_t count = 0;
  if (!scanner.ReadUnsigned(&count)) {
    LogMessage("Load3df: no polygon count\n", LOG_ERROR);
    return;
  }
  for (uint32_t p = 0; p < count; ++p) {
    uint32_t numbers[3];
    if (!scanner.ReadUnsigned(&numbers[0]) || !scanner.ReadUnsigned(&numbers[1]) ||
        !scanner.ReadUnsigned(&numbers[2])) {
      LogEarlyEnd("polygons", p, count);
      return;
    }
    // Number 0 names no vertex: left pointing nowhere for the model check.
    const uint32_t corners[3] = {numbers[0] - 1, numbers[1] - 1, numbers[2] - 1};
    model.StorePolygon(3, corners);
  }
}

// Joints and bones; the bone count read (how many lines the later per-bone
// sections have), 0 when the skeleton ends early.
uint32_t ReadSkeleton(ModelData& model, TextScanner& scanner) {
  LogMessage(" Reading bone joints\n", LOG_DETAIL);
  uint32_t joints = 0;
  if (!scanner.ReadUnsigned(&joints)) return 0;
  const uint32_t joints_read = ReadTriples(scanner, joints, [&](uint32_t i, const double* p) {
    char name[40];
    std::snprintf(name, sizeof name, "j_%lu", static_cast<unsigned long>(i));
    model.AddJoint(p[0], p[1], p[2], name);
  });
  if (joints_read < joints) {
    LogEarlyEnd("joints", joints_read, joints);
    return 0;
  }

  LogMessage(" Reading bones\n", LOG_DETAIL);
  uint32_t bones = 0;
  if (!scanner.ReadUnsigned(&bones)) return 0;
  uint32_t bad = 0;
  for (uint32_t b = 0; b < bones; ++b) {
    uint32_t first = 0, second = 0;
    if (!scanner.ReadUnsigned(&first) || !scanner.ReadUnsigned(&second)) {
      LogEarlyEnd("bones", b, bones);
      return 0;
    }
    if (first >= model.joints_count || second >= model.joints_count) {
      ++bad;
      continue;
    }
    model.AddBone(static_cast<int16_t>(first), static_cast<int16_t>(second), 0.1);
  }
  if (bad) LogFormatted(LOG_ERROR, "Load3df: %" PRIu32 " bones name joints the file does not have, dropped\n", bad);
  return bones;
}

void ReadVertexOwners(ModelData& model, TextScanner& scanner, uint32_t first_vertex, uint32_t vertexs) {
  LogMessage(" Reading vertexs owning\n", LOG_DETAIL);
  uint32_t bad = 0;
  for (uint32_t v = 0; v < vertexs; ++v) {
    uint32_t number = 0;
    if (!scanner.ReadUnsigned(&number)) {
      LogEarlyEnd("vertex owners", v, vertexs);
      break;
    }
    // 0 is no bone; a number past the bones is taken as none as well.
    uint16_t owner = kNoOwner;
    if (number > model.bones_count)
      ++bad;
    else if (number > 0)
      owner = static_cast<uint16_t>(number - 1);
    model.SetVertexOwner(first_vertex + v, owner);
  }
  if (bad) LogFormatted(LOG_ERROR, "Load3df: %" PRIu32 " vertexs name bones the file does not have\n", bad);
}

// Turning limits and the three shape sections.
void SkipBoneLimitsAndShapes(TextScanner& scanner, uint32_t bones) {
  scanner.SkipRestOfLine();
  scanner.SkipLines(bones);
  for (int shape = 0; shape < 3; ++shape) {
    uint32_t count = 0;
    if (!scanner.ReadUnsigned(&count)) return;
    scanner.SkipRestOfLine();
    scanner.SkipLines(count);
  }
}

// One line per polygon; a line with fewer than three numbers leaves its
// polygon's material as it was. Blank lines are passed over.
void ReadColours(ModelData& model, TextScanner& scanner, uint32_t first_polygon, uint32_t polygons) {
  LogMessage(" Reading colors\n", LOG_DETAIL);
  model.poly_materials_present = 1;
  char line[TextScanner::kLineCapacity];
  for (uint32_t p = 0; p < polygons;) {
    if (!scanner.ReadLine(line)) break;
    uint32_t colour[3];
    int read = 0;
    char* rest = line;
    for (; read < 3; ++read) {
      while (*rest == ' ' || *rest == '\t') ++rest;
      char* end = rest;
      while (*end && *end != ' ' && *end != '\t') ++end;
      const char saved = *end;
      *end = '\0';
      const bool ok = TextScanner::ParseUnsigned(rest, &colour[read]);
      *end = saved;
      rest = end;
      if (!ok) break;
    }
    if (read == 0 && *rest == '\0') continue;  // blank line
    // Each number is kept as a byte.
    if (read == 3)
      model.SetPolygonMaterial(first_polygon + p,
                               model.MaterialOfColor(static_cast<uint8_t>(colour[0]), static_cast<uint8_t>(colour[1]),
                                                     static_cast<uint8_t>(colour[2])));
    ++p;
  }
}

}  // namespace

int Load3df(ModelData& model, FILE* file) {
  LogMessage("Loading 3df...\n", LOG_MAJOR);
  LogMessage(" Reading vertexs\n", LOG_DETAIL);
  // Indexes in the file are absolute; the model's object ranges start after
  // whatever the model already held.
  model.relative_writes = 0;
  const uint32_t first_vertex = model.vertexs_count;
  const uint32_t first_polygon = model.polygons_count;
  TextScanner scanner(file);
  uint32_t vertexs = 0;
  if (!scanner.ReadUnsigned(&vertexs)) {
    LogMessage("Load3df: no vertex count, not a 3df file\n", LOG_ERROR);
    return 0;
  }
  const uint32_t vertexs_read =
      ReadTriples(scanner, vertexs, [&](uint32_t, const double* p) { model.StoreVertex(p[0], p[1], p[2]); });
  if (vertexs_read < vertexs) {
    LogEarlyEnd("vertexs", vertexs_read, vertexs);
  } else {
    LogMessage(" Reading polygons\n", LOG_DETAIL);
    ReadPolygons(model, scanner);
  }
  const uint32_t vertexs_stored = model.vertexs_count - first_vertex;
  const uint32_t polygons_stored = model.polygons_count - first_polygon;

  if (!scanner.AtEnd()) {
    const uint32_t bones = ReadSkeleton(model, scanner);
    scanner.SkipRestOfLine();
    scanner.SkipLines(bones);  // bone owning: parents follow from the joints
    if (!scanner.AtEnd()) {
      ReadVertexOwners(model, scanner, first_vertex, vertexs_stored);
      SkipBoneLimitsAndShapes(scanner, bones);
      if (!scanner.AtEnd()) ReadColours(model, scanner, first_polygon, polygons_stored);
    }
  }

  model.poly_materials_present = 1;
  model.CalcBoneLengths();
  LogFormatted(LOG_MAJOR, ".Vertexs read  : %u\n", model.vertexs_count);
  LogFormatted(LOG_MAJOR, ".Polygons read : %u\n", model.polygons_count);
  LogFormatted(LOG_MAJOR, ".Bones read    : %u\n", model.bones_count);
  LogFormatted(LOG_MAJOR, ".Joints read   : %u\n", model.joints_count);
  LogMessage("...3df loaded\n", LOG_MAJOR);
  return 1;
}

int Save3df(ModelData& model, FILE* file) {
  LogMessage("Saving 3df...\n", LOG_MAJOR);
  if (!model.TriangulatePolygons()) return 0;
  model.relative_reads = 0;

  LogMessage(" Writing vertexs\n", LOG_DETAIL);
  std::fprintf(file, "%u\n", model.vertexs_count);
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0.0, y = 0.0, z = 0.0;
    model.ReadVertex(v, x, y, z);
    std::fprintf(file, "%f %f %f\n", x, y, z);
  }

  LogMessage(" Writing polygons\n", LOG_DETAIL);
  std::fprintf(file, "%u\n", model.polygons_count);
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t count = 0, corners[3] = {0, 0, 0};
    model.ReadPolygon(p, &count, corners, 3);
    std::fprintf(file, "%u %u %u\n", corners[0] + 1, corners[1] + 1, corners[2] + 1);
  }

  LogMessage(" Writing bone joints\n", LOG_DETAIL);
  const uint32_t joints = model.joints_count > 0 ? model.joints_count - 1 : 0;
  std::fprintf(file, "%lu\n", static_cast<unsigned long>(joints));
  for (uint32_t j = 1; j < model.joints_count; ++j) {
    double x = 0.0, y = 0.0, z = 0.0;
    model.GetJointPosition(j, x, y, z);
    std::fprintf(file, "%f %f %f\n", x, y, z);
  }

  LogMessage(" Writing bones\n", LOG_DETAIL);
  std::fprintf(file, "%lu\n", static_cast<unsigned long>(model.bones_count));
  for (uint32_t b = 0; b < model.bones_count; ++b) {
    int16_t first = 0, second = 0;
    model.GetBoneJoints(b, first, second);
    std::fprintf(file, "%i %i\n", first, second);
  }

  LogMessage(" Writing bone owning\n", LOG_DETAIL);
  for (uint32_t b = 0; b < model.bones_count; ++b) {
    int16_t first = 0, second = 0;
    model.GetBoneJoints(b, first, second);
    unsigned long parent = 0;
    for (uint32_t other = 0; other < model.bones_count; ++other) {
      int16_t other_first = 0, other_second = 0;
      model.GetBoneJoints(other, other_first, other_second);
      if (other_second == first) {
        parent = other + 1;
        break;
      }
    }
    std::fprintf(file, "%lu\n", parent);
  }

  LogMessage(" Writing vertexs owning\n", LOG_DETAIL);
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    const uint16_t owner = model.GetVertexOwner(v);
    std::fprintf(file, "%lu\n", owner == kNoOwner ? 0ul : static_cast<unsigned long>(owner) + 1);
  }

  LogMessage(" Writing turning limits\n", LOG_DETAIL);
  for (uint32_t b = 0; b < model.bones_count; ++b) std::fprintf(file, "20 20 20 160 160 160\n");

  LogMessage(" Empty shape\n", LOG_DETAIL);
  for (int shape = 0; shape < 3; ++shape) std::fprintf(file, "0\n");

  if (model.poly_materials_present) {
    LogMessage(" Writing colors\n", LOG_DETAIL);
    for (uint32_t p = 0; p < model.polygons_count; ++p) {
      model.GetMaterial(static_cast<uint32_t>(model.GetPolygonMaterial(p)));
      std::fprintf(file, "%u %u %u\n", model.material.diffuse[0], model.material.diffuse[1], model.material.diffuse[2]);
    }
  }
  if (std::fflush(file) != 0 || std::ferror(file)) {
    LogMessage("Save3df: could not write the file\n", LOG_ERROR);
    return 0;
  }
  LogMessage("....3df saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
