// Turbo Silver / Imagine objects: an IFF FORM "TDDD", big-endian, chunk
// bodies of odd length followed by a pad byte. The FORM holds an optional
// INFO chunk (observer data of cell files) and one or more "OBJ " chunks.
// An OBJ chunk is a flat run of DESC chunks (one node of an object
// hierarchy each), TOBJ chunks (the end of the node opened last) and EXTR
// chunks (a node kept in another file, standing for a DESC/TOBJ pair).
//
// A DESC holds its node's sub-chunks: NAME (18 bytes), SHAP (shape and lamp
// words), POSI (the node's position), AXIS (its X, Y and Z axis vectors),
// PNTS (points along those axes), EDGE (pairs of point numbers), FACE
// (triangles as triples of edge numbers), COLR (the object's colour) and
// CLST (one colour per face). Numbers of positions are FRACT: signed 16.16
// fixed point. The later form of the format counts with 32 bits (PNT2,
// EDG2, FAC2); which widths a chunk uses is told by its length.
//
// Each node becomes one object of the model. Its points are placed at
// POSI + x·XAxis + y·YAxis + z·ZAxis; position and axes are those of the
// node itself, in world coordinates, so a child's placement does not build
// on its parent's.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/lwo_reading.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

using lwo::IsId;
using lwo::PrintableId;

constexpr size_t kNameBytes = 18;
constexpr double kFractUnit = 65536.0;
constexpr uint32_t kNoPolygon = UINT32_MAX;

struct Vector3 {
  double x = 0, y = 0, z = 0;
};

struct Colour {
  uint8_t red = 0, green = 0, blue = 0;
};

// What one DESC says, gathered before anything is stored: the sub-chunks
// may come in any order, and the points need the axes.
struct Node {
  char name[kNameBytes + 1] = "";
  Vector3 position;
  Vector3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::vector<Vector3> points;
  std::vector<uint32_t> edges;  // pairs of point numbers
  std::vector<uint32_t> faces;  // triples of edge numbers
  bool has_colour = false;
  Colour colour;
  std::vector<Colour> face_colours;
};

Vector3 ReadVector(ByteReader& body) {
  Vector3 v;
  v.x = body.I32Be() / kFractUnit;
  v.y = body.I32Be() / kFractUnit;
  v.z = body.I32Be() / kFractUnit;
  return v;
}

class TdddLoader {
 public:
  explicit TdddLoader(ModelData& model) : model_(model) {}

  int Load(ByteReader& file) {
    ReadingHelper& reading = model_.reading;
    ByteReader form;
    if (!reading.ReadFormChunk(file, form) || !IsId(reinterpret_cast<const uint8_t*>(reading.form_header.id), "FORM")) {
      LogMessage("LoadIob: the file does not begin with a FORM chunk\n", LOG_ERROR);
      return 0;
    }
    if (form.Clipped()) cut_ = true;
    const uint8_t* type = form.Take(4);
    if (!type || !IsId(type, "TDDD")) {
      LogMessage("LoadIob: the FORM is not of type TDDD\n", LOG_ERROR);
      return 0;
    }
    ByteReader body;
    uint32_t objects = 0;
    while (form.Remaining() > 0) {
      if (!reading.ReadFormChunk(form, body)) {
        cut_ = true;
        break;
      }
      if (body.Clipped()) cut_ = true;
      const ReadingHelper::FormHeader header = reading.form_header;
      char id[5];
      PrintableId(reinterpret_cast<const uint8_t*>(header.id), id);
      LogFormatted(LOG_DETAIL, " %s - %lu\n", id, static_cast<unsigned long>(header.length));
      if (IsId(reinterpret_cast<const uint8_t*>(header.id), "OBJ ")) {
        ++objects;
        Hierarchy(body);
      }
      // INFO (observer data) and unknown chunks hold no geometry.
    }
    if (objects == 0) {
      LogMessage("LoadIob: the file holds no OBJ chunk\n", LOG_ERROR);
      return 0;
    }
    if (cut_)
      LogMessage("LoadIob: a chunk runs past the end of its parent or the file, read what is there\n", LOG_ERROR);
    if (open_nodes_ != 0)
      LogFormatted(LOG_ERROR, "LoadIob: %" PRIu64 " object descriptions have no TOBJ end\n", open_nodes_);
    if (dropped_faces_)
      LogFormatted(LOG_ERROR, "LoadIob: %" PRIu64 " faces naming edges or points the object does not have, dropped\n",
                   dropped_faces_);
    if (open_faces_)
      LogFormatted(LOG_ERROR,
                   "LoadIob: %" PRIu64 " faces whose edges do not close a triangle (or found no room), dropped\n",
                   open_faces_);
    return 1;
  }

 private:
  void Hierarchy(ByteReader& object) {
    ReadingHelper& reading = model_.reading;
    ByteReader body;
    while (!full_ && object.Remaining() > 0) {
      if (!reading.ReadFormChunk(object, body)) {
        cut_ = true;
        break;
      }
      if (body.Clipped()) cut_ = true;
      const uint8_t* id = reinterpret_cast<const uint8_t*>(reading.form_header.id);
      if (IsId(id, "DESC")) {
        ++open_nodes_;
        Node node;
        Describe(body, node);
        Store(node);
      } else if (IsId(id, "TOBJ")) {
        if (open_nodes_ == 0) {
          LogMessage("LoadIob: a TOBJ ends no object description, passed over\n", LOG_ERROR);
        } else {
          --open_nodes_;
        }
      } else if (IsId(id, "EXTR")) {
        LogMessage("LoadIob: an object kept in another file (EXTR) is left out\n", LOG_ERROR);
      }
    }
  }

  void Describe(ByteReader& desc, Node& node) {
    ReadingHelper& reading = model_.reading;
    ByteReader body;
    while (desc.Remaining() > 0) {
      if (!reading.ReadFormChunk(desc, body)) {
        cut_ = true;
        break;
      }
      if (body.Clipped()) cut_ = true;
      const uint8_t* id = reinterpret_cast<const uint8_t*>(reading.form_header.id);
      if (IsId(id, "NAME")) {
        body.ReadFixedString(node.name, sizeof node.name, std::min<size_t>(kNameBytes, body.Remaining()));
      } else if (IsId(id, "SHAP")) {
        const uint16_t shape = body.U16Be(), lamp = body.U16Be();
        LogFormatted(LOG_DETAIL, "  shape %u lamp %u\n", static_cast<unsigned>(shape), static_cast<unsigned>(lamp));
      } else if (IsId(id, "POSI")) {
        const Vector3 position = ReadVector(body);
        if (body.Ok()) node.position = position;
      } else if (IsId(id, "AXIS")) {
        Vector3 axes[3];
        for (Vector3& axis : axes) axis = ReadVector(body);
        if (body.Ok()) std::copy(std::begin(axes), std::end(axes), std::begin(node.axes));
      } else if (IsId(id, "PNTS") || IsId(id, "PNT2")) {
        Points(body, IsId(id, "PNT2"), node);
      } else if (IsId(id, "EDGE") || IsId(id, "EDG2")) {
        Indexes(body, IsId(id, "EDG2"), 2, "edge", node.edges);
      } else if (IsId(id, "FACE") || IsId(id, "FAC2")) {
        Indexes(body, IsId(id, "FAC2"), 3, "face", node.faces);
      } else if (IsId(id, "COLR")) {
        body.Skip(1);
        const uint8_t* rgb = body.Take(3);
        if (rgb) {
          node.has_colour = true;
          node.colour = {rgb[0], rgb[1], rgb[2]};
        }
      } else if (IsId(id, "CLST")) {
        FaceColours(body, node);
      }
    }
  }

  // The count ahead of a list: 16 bits, or 32 in the later chunks.
  static uint32_t Count(ByteReader& body, bool wide) { return wide ? body.U32Be() : body.U16Be(); }

  void Points(ByteReader& body, bool wide, Node& node) {
    const uint32_t count = Count(body, wide);
    if (!body.Ok() || !body.Fits(count, 12)) {
      LogMessage("LoadIob: a point list claims more points than it holds, left out\n", LOG_ERROR);
      return;
    }
    node.points.clear();
    node.points.reserve(count);
    for (uint32_t i = 0; i < count; ++i) node.points.push_back(ReadVector(body));
  }

  // Edges (pairs) and faces (triples). In the 32-bit chunks the numbers
  // themselves may be 16 or 32 bits wide: the length decides, and a length
  // that fits neither leaves the list out.
  void Indexes(ByteReader& body, bool wide, uint32_t per_item, const char* what, std::vector<uint32_t>& list) {
    const uint32_t count = Count(body, wide);
    uint64_t values = 0;
    if (!body.Ok() || !CheckedMul(count, per_item, values)) {
      LogFormatted(LOG_ERROR, "LoadIob: a %s list has no count, left out\n", what);
      return;
    }
    uint32_t width = 2;
    if (wide && body.Remaining() / 4 >= values && body.Remaining() - 4 * values < 2) width = 4;
    if (!body.Fits(values, width)) {
      LogFormatted(LOG_ERROR, "LoadIob: a %s list claims more %ss than it holds, left out\n", what, what);
      return;
    }
    list.clear();
    list.reserve(values);
    for (uint64_t i = 0; i < values; ++i) list.push_back(width == 4 ? body.U32Be() : body.U16Be());
  }

  void FaceColours(ByteReader& body, Node& node) {
    const uint32_t count = body.U16Be();
    if (!body.Ok() || !body.Fits(count, 3)) {
      LogMessage("LoadIob: a face colour list claims more colours than it holds, left out\n", LOG_ERROR);
      return;
    }
    node.face_colours.clear();
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* rgb = body.Take(3);
      node.face_colours.push_back({rgb[0], rgb[1], rgb[2]});
    }
  }

  void Store(const Node& node) {
    if (!model_.NewObject()) {
      LogMessage("LoadIob: no room for more objects, the rest is left out\n", LOG_ERROR);
      full_ = true;
      return;
    }
    if (node.name[0] != '\0') model_.SetObjectName(node.name);
    LogFormatted(LOG_DETAIL, "  object '%s': %zu points, %zu edges, %zu faces\n", node.name, node.points.size(),
                 node.edges.size() / 2, node.faces.size() / 3);
    // Stores and reads below count from this object's first elements.
    model_.relative_writes = 1;
    const uint32_t first_polygon = model_.polygons_count;
    uint32_t stored_points = 0;
    for (const Vector3& p : node.points) {
      const Vector3* a = node.axes;
      const double x = node.position.x + p.x * a[0].x + p.y * a[1].x + p.z * a[2].x;
      const double y = node.position.y + p.x * a[0].y + p.y * a[1].y + p.z * a[2].y;
      const double z = node.position.z + p.x * a[0].z + p.y * a[1].z + p.z * a[2].z;
      const uint32_t before = model_.vertexs_count;
      model_.StoreVertex(x, y, z);
      if (model_.vertexs_count == before) {
        LogMessage("LoadIob: no room for more points, the rest is left out\n", LOG_ERROR);
        full_ = true;
        break;
      }
      ++stored_points;
    }
    // An edge is usable when both its points were stored.
    const uint32_t edge_count = static_cast<uint32_t>(node.edges.size() / 2);
    std::vector<bool> usable(edge_count, false);
    uint32_t stored_edges = 0;
    for (uint32_t e = 0; e < edge_count; ++e) {
      const uint32_t a = node.edges[2 * e], b = node.edges[2 * e + 1];
      if (!model_.StoreEdge(a, b)) {
        LogMessage("LoadIob: no room for more edges, the rest is left out\n", LOG_ERROR);
        break;
      }
      ++stored_edges;
      usable[e] = a < stored_points && b < stored_points;
    }
    const uint32_t face_count = static_cast<uint32_t>(node.faces.size() / 3);
    std::vector<uint32_t> polygon_of_face(face_count, kNoPolygon);
    for (uint32_t f = 0; f < face_count && !full_; ++f) {
      const uint32_t* edges = &node.faces[3 * f];
      if (!std::all_of(edges, edges + 3, [&](uint32_t e) { return e < stored_edges && usable[e]; })) {
        ++dropped_faces_;
        continue;
      }
      const uint32_t before = model_.polygons_count;
      model_.StoreEdgePolygon(3, edges);
      if (model_.polygons_count == before) {
        ++open_faces_;
        continue;
      }
      polygon_of_face[f] = before - first_polygon;
    }
    // Face colours first, then the object's colour for faces without one.
    for (uint32_t f = 0; f < face_count; ++f) {
      if (polygon_of_face[f] == kNoPolygon) continue;
      const Colour* colour = f < node.face_colours.size() ? &node.face_colours[f] : nullptr;
      if (!colour && node.has_colour) colour = &node.colour;
      if (!colour) continue;
      const int32_t material = model_.MaterialOfColor(colour->red, colour->green, colour->blue);
      if (material < 0) continue;
      model_.SetPolygonMaterial(polygon_of_face[f], material);
      model_.poly_materials_present = 1;
    }
  }

  ModelData& model_;
  bool cut_ = false;
  bool full_ = false;
  uint64_t open_nodes_ = 0;
  uint64_t dropped_faces_ = 0;
  uint64_t open_faces_ = 0;
};

}  // namespace

int LoadIob(ModelData& model, FILE* file) {
  LogMessage("Loading Turbo Silver object...\n", LOG_MAJOR);
  ReadingHelper& reading = model.reading;
  reading.ResetLevels();
  reading.FormByteOrdering = 0;
  reading.FormSkipOddByte = 1;
  // Z points up, Y away from the viewer of the front view, X to the right.
  model.SetModelOrientation(4, 2, 1);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadIob")) return 0;
  ByteReader reader(bytes);
  TdddLoader loader(model);
  if (!loader.Load(reader)) return 0;
  model.FinishObjects();
  LogMessage("... iob loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
