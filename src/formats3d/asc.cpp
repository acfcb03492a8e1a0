// 3D Studio ASCII exports: named objects, each a vertex list and a face list
// of triangles whose material is written as its colour ("r255g0b0a0").
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/model_text.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

using model_text::ParseDouble;

constexpr size_t kMaxLine = 999;
constexpr size_t kMaxWords = 64;
constexpr size_t kMaxWord = 254;

// A number of a vertex line: a word made only of digits, dots and minus
// signs, or the part after a colon (X:1.5).
bool VertexNumber(std::string_view word, double* value) {
  const size_t colon = word.find(':');
  if (colon != std::string_view::npos) word.remove_prefix(colon + 1);
  if (word.empty() || word.find_first_not_of("0123456789.-") != std::string_view::npos) return false;
  bool ok = false;
  *value = ParseDouble(word, &ok);
  return ok;
}

// The number after "A:" in a word such as "A:12".
bool CornerNumber(std::string_view word, char letter, uint32_t* value) {
  if (word.size() < 3 || word[0] != letter || word[1] != ':') return false;
  bool ok = false;
  const int64_t n = model_text::ParseInteger(word.substr(2), &ok);
  if (!ok || n < 0 || n > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(n);
  return true;
}

// The colour of a material word: the numbers after r, g and b.
bool MaterialColour(std::string_view text, uint8_t rgb[3]) {
  int found = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char* letters = "rgb";
    const char* which = std::strchr(letters, text[i]);
    if (!which || text[i] == '\0') continue;
    bool ok = false;
    size_t end = i + 1;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    const int64_t n = model_text::ParseInteger(text.substr(i + 1, end - i - 1), &ok);
    if (!ok) continue;
    rgb[which - letters] = static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
    found |= 1 << (which - letters);
    i = end - 1;
  }
  return found == 7;
}

}  // namespace

int LoadAsc(ModelData& model, FILE* file) {
  LogMessage("Loading Asc...\n", LOG_MAJOR);
  model.relative_writes = 1;
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadAsc")) return 0;
  model_text::TextLines lines(bytes.data(), bytes.size(), kMaxLine);
  std::vector<std::string_view> words;
  std::string_view line;
  uint32_t object_first_polygon = 0;
  uint64_t bad_lines = 0;
  while (lines.NextNonEmpty(line)) {
    model_text::SplitTokens(line, words, kMaxWords, kMaxWord);
    if (words.empty()) continue;
    const std::string_view first = words[0];
    const bool list = words.size() > 1 && words[1] == "list:";
    if (first == "Named" && words.size() > 1 && words[1] == "object:") {
      std::string name;
      const size_t open = line.find('"');
      if (open != std::string_view::npos) {
        const size_t close = line.find('"', open + 1);
        name.assign(line.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
      }
      model.NewObject();
      model.SetObjectName(name.c_str());
      object_first_polygon = model.polygons_count;
      LogFormatted(LOG_DETAIL, "  object (%s)\n", name.c_str());
    } else if (first == "Vertex" && !list) {
      double xyz[3];
      int found = 0;
      for (size_t w = 2; w < words.size() && found < 3; ++w)
        if (VertexNumber(words[w], &xyz[found])) ++found;
      if (found == 3) {
        model.StoreVertex(xyz[0], xyz[1], xyz[2]);
      } else {
        LogFormatted(LOG_ERROR, "Could not read vertexs on line [%.*s]", static_cast<int>(line.size()), line.data());
        ++bad_lines;
      }
    } else if (first == "Face" && !list) {
      uint32_t corners[3];
      if (words.size() >= 5 && CornerNumber(words[2], 'A', &corners[0]) && CornerNumber(words[3], 'B', &corners[1]) &&
          CornerNumber(words[4], 'C', &corners[2]))
        model.StorePolygon(3, corners);
      else
        ++bad_lines;
    } else if (first.substr(0, 9) == "Material:") {
      std::string text(first.substr(9));
      if (words.size() > 1) text.append(words[1]);
      uint8_t rgb[3] = {0, 0, 0};
      if (MaterialColour(text, rgb) && model.polygons_count > object_first_polygon) {
        const int32_t material = model.MaterialOfColor(rgb[0], rgb[1], rgb[2]);
        if (material >= 0) {
          model.poly_materials_present = 1;
          model.SetPolygonMaterial(model.polygons_count - 1 - object_first_polygon, material);
        }
      }
    }
  }
  if (bad_lines) LogFormatted(LOG_ERROR, "LoadAsc: %" PRIu64 " vertex or face lines could not be read\n", bad_lines);
  if (model.materials_count > 0) model.poly_materials_present = 1;
  LogMessage("... Asc loaded\n", LOG_MAJOR);
  return 1;
}

int SaveAsc(ModelData& model, FILE* file) {
  LogMessage("Saving asc...\n", LOG_MAJOR);
  // Face lines count vertexes within their object: every polygon must use
  // its own object's vertices.
  model.ConvertProperties(ModelData::need_polygon_materials | ModelData::need_triangles |
                          ModelData::need_vertexs_by_objects);
  model.relative_reads = 0;
  const bool materials = model.poly_materials_present && model.materials_count > 0;
  std::vector<MaterialRecord> table;
  for (uint32_t i = 0; i < model.materials_count; ++i) {
    model.GetMaterial(i);
    table.push_back(model.material);
  }
  model_text::TextWriter out(file);
  out.Text("Ambient light color: Red=0.1 Green=0.1 Blue=0.1\n");
  for (uint32_t o = 0; o < model.objects_count; ++o) {
    ObjectRecord object;
    if (!model.GetObjectInfo(o, &object)) continue;
    LogFormatted(LOG_DETAIL, "  Saving object %lu(%s)\n", static_cast<unsigned long>(o), object.name);
    const std::string_view name(object.name, strnlen(object.name, sizeof object.name));
    out.Text("\nNamed object: \"").Text(name).Text("\"\nTri-mesh, Vertices: ").Unsigned(object.vertex_count);
    out.Text("     Faces: ").Unsigned(object.polygon_count).Text("\nVertex list:\n");
    for (uint32_t v = 0; v < object.vertex_count; ++v) {
      double x = 0.0, y = 0.0, z = 0.0;
      model.ReadVertex(object.first_vertex + v, x, y, z);
      out.Text("Vertex ").Unsigned(v).Text(":  X:").Fixed(x).Text("\tY:").Fixed(y).Text("\tZ:").Fixed(z).Char('\n');
    }
    out.Text("Face list:\n");
    for (uint32_t p = 0; p < object.polygon_count; ++p) {
      const uint32_t polygon = object.first_polygon + p;
      uint32_t first = 0, count = 0;
      model.ReadPolygonPointData(polygon, first, count);
      uint32_t corners[3] = {0, 0, 0};
      for (uint32_t k = 0; k < 3 && k < count; ++k) {
        const uint32_t v = model.GetPointVertex(first + k);
        corners[k] = v >= object.first_vertex ? v - object.first_vertex : 0;
      }
      out.Text("Face ").Unsigned(p).Text(": A:").Unsigned(corners[0]).Text(" B:").Unsigned(corners[1]);
      out.Text(" C:").Unsigned(corners[2]).Text(" AB:1 BC:1 CA:1\n");
      if (materials) {
        const int32_t m = model.GetPolygonMaterial(polygon);
        const uint8_t* rgb = m >= 0 && static_cast<size_t>(m) < table.size() ? table[static_cast<size_t>(m)].diffuse
                                                                               : model.DefaultMaterial().diffuse;
        out.Text("Material:\"r").Unsigned(rgb[0]).Char('g').Unsigned(rgb[1]).Char('b').Unsigned(rgb[2]).Text("a0\"\n");
      }
      out.Text("Smoothing:  1\n");
    }
  }
  out.Flush();
  LogMessage("... asc saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
