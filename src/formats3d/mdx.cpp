// "Warcraft 3 model" files: "MDLX", then tagged chunks (a four-letter tag
// and a byte length). Read here: the sequences (animation segments), the
// textures, the materials (first layer: texture and alpha), the geosets
// (one object each: vertices, normals, triangles, texture coordinates and
// the vertex groups that tie vertices to bones), the geoset animations'
// alpha, the bone and helper nodes with their translation, rotation and
// scaling tracks, and the pivot points. Other chunks are passed by length.
//
// The skeleton becomes joints at the pivots with bones from parent to
// child. The model's own skinning (a vertex follows the average of its
// group's node transforms) is evaluated here at every key time of every
// sequence and stored as vertex animation, one frame per key time, each
// sequence a segment over its frames. The type is read-only.
//
// Every count and record size is checked against its chunk before use, so
// a broken file fails with its reason instead of reading past its data.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr size_t kSequenceSize = 132;
constexpr size_t kTextureSize = 268;
constexpr size_t kTextureNameSize = 260;
constexpr size_t kNameSize = 80;
constexpr size_t kExtentSize = 28;
constexpr uint32_t kNoParent = 0xFFFFFFFFu;
constexpr uint32_t kTriangles = 4;
// More frames than this are thinned evenly; a sequence keeps its ends.
constexpr size_t kMaxFrames = 1000;
// Node ids beyond this are not followed (a file holds far fewer nodes).
constexpr uint32_t kMaxNodeIds = 65536;

uint32_t Tag(const char* text) { return LoadLe32(reinterpret_cast<const uint8_t*>(text)); }

struct Vec {
  double v[3] = {0, 0, 0};
};
struct Quat {
  double x = 0, y = 0, z = 0, w = 1;
};

// An animation track: key times and values (1, 3 or 4 floats) with their
// tangents for the spline kinds.
struct Track {
  uint32_t interpolation = 0;  // 0 none, 1 linear, 2 hermite, 3 bezier
  int32_t global_sequence = -1;
  uint32_t width = 0;
  std::vector<int32_t> times;
  std::vector<double> values, in_tangents, out_tangents;  // width per key
  bool Empty() const { return times.empty(); }
};

struct Node {
  char name[kNameSize + 1] = "";
  uint32_t object_id = 0;
  uint32_t parent = kNoParent;
  Track translation, rotation, scaling;
  int32_t joint = -1;
  int32_t bone = -1;
};

struct Sequence {
  char name[kNameSize + 1] = "";
  uint32_t start = 0, end = 0;
};

struct Geoset {
  std::vector<float> positions, normals, texcoords;  // 3, 3, 2 per vertex
  std::vector<uint32_t> triangles;
  std::vector<uint8_t> groups;                       // matrix group per vertex
  std::vector<std::vector<uint32_t>> matrix_groups;  // node ids per group
  uint32_t material = 0;
  double alpha = 1.0;
};

struct MdxModel {
  uint32_t version = 0;
  std::vector<Sequence> sequences;
  std::vector<uint32_t> global_durations;
  std::vector<std::string> textures;
  std::vector<int32_t> material_textures;  // texture id of the first layer, -1 none
  std::vector<double> material_alphas;
  std::vector<Geoset> geosets;
  std::vector<Node> nodes;
  std::vector<Vec> pivots;
  struct GeosetAlpha {
    uint32_t geoset;
    double alpha;
    Track track;
  };
  std::vector<GeosetAlpha> geoset_alphas;
};

bool Broken(const char* what) {
  LogFormatted(LOG_ERROR, "LoadMdx: %s\n", what);
  return false;
}

// A track whose tag was just read: count, interpolation, global sequence,
// then the keys.
bool ReadTrack(ByteReader& in, uint32_t width, Track& track) {
  const uint32_t count = in.U32Le();
  track.interpolation = in.U32Le();
  track.global_sequence = in.I32Le();
  track.width = width;
  if (!in.Ok()) return Broken("a track is cut short");
  const uint64_t floats = track.interpolation > 1 ? uint64_t{3} * width : width;
  if (!in.Fits(count, 4 + 4 * floats)) return Broken("a track holds more keys than its record");
  track.times.resize(count);
  track.values.resize(size_t{count} * width);
  if (track.interpolation > 1) {
    track.in_tangents.resize(size_t{count} * width);
    track.out_tangents.resize(size_t{count} * width);
  }
  for (uint32_t k = 0; k < count; ++k) {
    track.times[k] = in.I32Le();
    for (uint32_t c = 0; c < width; ++c) track.values[size_t{k} * width + c] = in.F32Le();
    if (track.interpolation > 1) {
      for (uint32_t c = 0; c < width; ++c) track.in_tangents[size_t{k} * width + c] = in.F32Le();
      for (uint32_t c = 0; c < width; ++c) track.out_tangents[size_t{k} * width + c] = in.F32Le();
    }
  }
  return true;
}

// The tracks that end a record; those not asked for (tag 0) are read and dropped.
bool ReadTracks(ByteReader& in, const std::vector<std::pair<uint32_t, Track*>>& wanted) {
  while (!in.AtEnd()) {
    if (!in.Fits(4)) return Broken("a record ends in the middle of a track tag");
    const uint32_t tag = in.U32Le();
    Track dropped;
    Track* into = &dropped;
    uint32_t width = 0;
    for (const auto& [wanted_tag, track] : wanted)
      if (tag == wanted_tag) into = track;
    if (tag == Tag("KGTR") || tag == Tag("KGSC") || tag == Tag("KGAC") || tag == Tag("KTAT") ||
        tag == Tag("KTAS") || tag == Tag("KLAC") || tag == Tag("KLBC"))
      width = 3;
    else if (tag == Tag("KGRT") || tag == Tag("KTAR"))
      width = 4;
    else if (tag >> 24 != 0 && (tag & 0xFF) == 'K')
      width = 1;  // every other track of the format carries one value
    else
      return Broken("a record holds an unknown block");
    if (!ReadTrack(in, width, *into)) return false;
  }
  return true;
}

// The records of a chunk that each begin with their inclusive size.
template <typename Read>
bool ForEachRecord(ByteReader& chunk, const char* what, Read read) {
  while (!chunk.AtEnd()) {
    const uint32_t size = chunk.U32Le();
    if (!chunk.Ok() || size < 4 || !chunk.Fits(size - 4)) {
      LogFormatted(LOG_ERROR, "LoadMdx: a %s record's size does not fit its chunk\n", what);
      return false;
    }
    ByteReader record = chunk.Chunk(size - 4);
    if (!read(record)) return false;
  }
  return true;
}

bool ReadNode(ByteReader& record, Node& node) {
  // The node's own size counts from its first byte, which the caller read
  // when the node opens a bigger record.
  const uint32_t size = record.U32Le();
  if (!record.Ok() || size < 4 + kNameSize + 12 || !record.Fits(size - 4))
    return Broken("a node's size does not fit its record");
  ByteReader in = record.Chunk(size - 4);
  in.ReadFixedString(node.name, sizeof node.name, kNameSize);
  node.object_id = in.U32Le();
  node.parent = in.U32Le();
  in.Skip(4);  // flags
  return ReadTracks(in, {{Tag("KGTR"), &node.translation},
                         {Tag("KGRT"), &node.rotation},
                         {Tag("KGSC"), &node.scaling}});
}

bool ReadSequences(ByteReader& chunk, MdxModel& mdx) {
  if (chunk.Size() % kSequenceSize != 0) return Broken("the sequences chunk is not whole records");
  while (!chunk.AtEnd()) {
    Sequence s;
    chunk.ReadFixedString(s.name, sizeof s.name, kNameSize);
    s.start = chunk.U32Le();
    s.end = chunk.U32Le();
    chunk.Skip(kSequenceSize - kNameSize - 8);
    if (s.end < s.start) std::swap(s.start, s.end);
    mdx.sequences.push_back(s);
  }
  return true;
}

bool ReadTextures(ByteReader& chunk, MdxModel& mdx) {
  if (chunk.Size() % kTextureSize != 0) return Broken("the textures chunk is not whole records");
  while (!chunk.AtEnd()) {
    const uint32_t replaceable = chunk.U32Le();
    char name[kTextureNameSize + 1];
    chunk.ReadFixedString(name, sizeof name, kTextureNameSize);
    chunk.Skip(4);  // flags
    if (replaceable != 0 && name[0] == '\0')
      LogFormatted(LOG_DETAIL, " texture %zu is replaceable (%" PRIu32 "), none loaded\n", mdx.textures.size(),
                   replaceable);
    mdx.textures.emplace_back(name);
  }
  return true;
}

bool ReadMaterials(ByteReader& chunk, MdxModel& mdx) {
  return ForEachRecord(chunk, "material", [&](ByteReader& in) {
    in.Skip(8);  // priority plane, flags
    if (mdx.version > 800) in.Skip(kNameSize);  // shader name
    if (!in.Ok() || !in.Fits(8) || in.U32Le() != Tag("LAYS")) return Broken("a material has no layers");
    const uint32_t layers = in.U32Le();
    int32_t texture = -1;
    double alpha = 1.0;
    for (uint32_t l = 0; l < layers; ++l) {
      const uint32_t size = in.U32Le();
      if (!in.Ok() || size < 28 || !in.Fits(size - 4)) return Broken("a layer's size does not fit its material");
      ByteReader layer = in.Chunk(size - 4);
      layer.Skip(8);  // filter mode, shading flags
      const uint32_t texture_id = layer.U32Le();
      layer.Skip(8);  // texture animation, coordinate set
      const float layer_alpha = layer.F32Le();
      if (l == 0) {
        texture = texture_id < mdx.textures.size() || mdx.textures.empty() ? static_cast<int32_t>(texture_id) : -1;
        alpha = std::isfinite(layer_alpha) ? std::clamp<double>(layer_alpha, 0.0, 1.0) : 1.0;
      }
    }
    mdx.material_textures.push_back(texture);
    mdx.material_alphas.push_back(alpha);
    return true;
  });
}

// A counted block of a geoset: its tag, a count, then count items of `size` bytes.
bool OpenBlock(ByteReader& in, const char* tag, uint64_t size, uint32_t& count) {
  if (!in.Fits(8) || in.U32Le() != Tag(tag)) {
    LogFormatted(LOG_ERROR, "LoadMdx: a geoset lacks its %s block\n", tag);
    return false;
  }
  count = in.U32Le();
  if (!in.Fits(count, size)) {
    LogFormatted(LOG_ERROR, "LoadMdx: a geoset's %s block holds more than the geoset\n", tag);
    return false;
  }
  return true;
}

bool ReadFloats(ByteReader& in, const char* tag, uint32_t width, std::vector<float>& out) {
  uint32_t count = 0;
  if (!OpenBlock(in, tag, 4 * width, count)) return false;
  out.resize(size_t{count} * width);
  for (float& f : out) f = in.F32Le();
  return true;
}

bool ReadU32s(ByteReader& in, const char* tag, std::vector<uint32_t>& out) {
  uint32_t count = 0;
  if (!OpenBlock(in, tag, 4, count)) return false;
  out.resize(count);
  for (uint32_t& v : out) v = in.U32Le();
  return true;
}

bool ReadGeoset(ByteReader& in, const MdxModel& mdx, Geoset& g) {
  std::vector<uint32_t> types, counts, sizes, matrices;
  uint32_t count = 0;
  if (!ReadFloats(in, "VRTX", 3, g.positions) || !ReadFloats(in, "NRMS", 3, g.normals) ||
      !ReadU32s(in, "PTYP", types) || !ReadU32s(in, "PCNT", counts) || !OpenBlock(in, "PVTX", 2, count))
    return false;
  std::vector<uint32_t> indexes(count);
  for (uint32_t& i : indexes) i = in.U16Le();
  if (!OpenBlock(in, "GNDX", 1, count)) return false;
  g.groups.resize(count);
  for (uint8_t& i : g.groups) i = in.U8();
  if (!ReadU32s(in, "MTGC", sizes) || !ReadU32s(in, "MATS", matrices)) return false;
  g.material = in.U32Le();
  in.Skip(8);  // selection group and flags
  if (mdx.version > 800) in.Skip(4 + kNameSize);  // level of detail and its name
  in.Skip(kExtentSize);
  const uint32_t extents = in.U32Le();
  if (!in.Ok() || !in.Fits(extents, kExtentSize)) return Broken("a geoset's extents do not fit it");
  in.Skip(uint64_t{extents} * kExtentSize);
  if (mdx.version > 800) {
    // Tangents and skin weights, when present, come before the coordinates.
    for (const char* optional : {"TANG", "SKIN"}) {
      const uint8_t* tag = in.Peek(4);
      if (!tag || LoadLe32(tag) != Tag(optional)) continue;
      if (!OpenBlock(in, optional, std::strcmp(optional, "TANG") == 0 ? 16 : 8, count)) return false;
      in.Skip(uint64_t{count} * (std::strcmp(optional, "TANG") == 0 ? 16 : 8));
    }
  }
  uint32_t sets = 0;
  if (!OpenBlock(in, "UVAS", 0, sets)) return false;
  for (uint32_t s = 0; s < sets; ++s) {
    std::vector<float> coordinates;
    if (!ReadFloats(in, "UVBS", 2, coordinates)) return false;
    if (s == 0) g.texcoords = std::move(coordinates);
  }
  if (!in.Ok()) return Broken("a geoset is cut short");

  const size_t vertexs = g.positions.size() / 3;
  if (g.normals.size() != g.positions.size()) g.normals.clear();
  if (g.texcoords.size() != vertexs * 2) g.texcoords.clear();
  if (g.groups.size() != vertexs) g.groups.clear();
  // Matrix groups: runs of node ids, their lengths in MTGC.
  size_t at = 0;
  for (uint32_t size : sizes) {
    if (size > matrices.size() - at) return Broken("a geoset's matrix groups name more nodes than it lists");
    g.matrix_groups.emplace_back(matrices.begin() + static_cast<std::ptrdiff_t>(at),
                                 matrices.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
  }
  // Faces: groups of a primitive type and an index count; triangles kept.
  size_t first = 0;
  uint32_t dropped = 0;
  for (size_t p = 0; p < counts.size(); ++p) {
    const uint32_t n = counts[p];
    if (n > indexes.size() - first) return Broken("a geoset's face groups name more indexes than it lists");
    if (p < types.size() && types[p] == kTriangles) {
      for (uint32_t k = 0; k + 2 < n; k += 3) {
        const uint32_t* t = &indexes[first + k];
        if (t[0] >= vertexs || t[1] >= vertexs || t[2] >= vertexs) {
          ++dropped;
          continue;
        }
        g.triangles.insert(g.triangles.end(), t, t + 3);
      }
    } else {
      LogFormatted(LOG_ERROR, "LoadMdx: a face group of type %" PRIu32 " is not read\n",
                   p < types.size() ? types[p] : 0);
    }
    first += n;
  }
  if (dropped) LogFormatted(LOG_ERROR, "LoadMdx: %" PRIu32 " triangles name vertexs the geoset lacks, dropped\n", dropped);
  return true;
}

bool ReadGeosetAnimations(ByteReader& chunk, MdxModel& mdx) {
  return ForEachRecord(chunk, "geoset animation", [&](ByteReader& in) {
    MdxModel::GeosetAlpha entry{};
    const float alpha = in.F32Le();
    in.Skip(16);  // flags, colour
    entry.geoset = in.U32Le();
    if (!in.Ok()) return Broken("a geoset animation is cut short");
    entry.alpha = std::isfinite(alpha) ? std::clamp<double>(alpha, 0.0, 1.0) : 1.0;
    if (!ReadTracks(in, {{Tag("KGAO"), &entry.track}})) return false;
    mdx.geoset_alphas.push_back(std::move(entry));
    return true;
  });
}

bool ReadChunks(ByteReader& file, MdxModel& mdx) {
  while (!file.AtEnd()) {
    const uint32_t tag = file.U32Le();
    const uint32_t length = file.U32Le();
    if (!file.Ok()) return Broken("a chunk header is cut short");
    if (!file.Fits(length)) {
      char name[5] = {};
      StoreLe32(reinterpret_cast<uint8_t*>(name), tag);
      for (char& c : name)
        if (c && (c < ' ' || c > '~')) c = '?';
      LogFormatted(LOG_ERROR, "LoadMdx: chunk %s of %" PRIu32 " bytes runs past the end of the file\n", name, length);
      return false;
    }
    ByteReader chunk = file.Chunk(length);
    bool ok = true;
    if (tag == Tag("VERS")) {
      mdx.version = chunk.U32Le();
      LogFormatted(LOG_DETAIL, " version %" PRIu32 "\n", mdx.version);
    } else if (tag == Tag("SEQS")) {
      ok = ReadSequences(chunk, mdx);
    } else if (tag == Tag("GLBS")) {
      while (chunk.Fits(4)) mdx.global_durations.push_back(chunk.U32Le());
    } else if (tag == Tag("TEXS")) {
      ok = ReadTextures(chunk, mdx);
    } else if (tag == Tag("MTLS")) {
      ok = ReadMaterials(chunk, mdx);
    } else if (tag == Tag("GEOS")) {
      ok = ForEachRecord(chunk, "geoset", [&](ByteReader& in) {
        Geoset g;
        if (!ReadGeoset(in, mdx, g)) return false;
        mdx.geosets.push_back(std::move(g));
        return true;
      });
    } else if (tag == Tag("GEOA")) {
      ok = ReadGeosetAnimations(chunk, mdx);
    } else if (tag == Tag("BONE") || tag == Tag("HELP")) {
      const bool bone = tag == Tag("BONE");
      while (ok && !chunk.AtEnd()) {
        Node node;
        ok = ReadNode(chunk, node) && (!bone || chunk.Skip(8) || Broken("a bone is cut short"));
        if (ok) mdx.nodes.push_back(std::move(node));
      }
    } else if (tag == Tag("PIVT")) {
      while (chunk.Fits(12)) {
        Vec p;
        for (double& c : p.v) c = chunk.F32Le();
        mdx.pivots.push_back(p);
      }
    }
    if (!ok) return false;
    if (!chunk.Ok()) return Broken("a chunk is shorter than its records");
  }
  return true;
}

// ---- Track evaluation -----------------------------------------------------

double Blend(double a, double b, double s) { return a + (b - a) * s; }

Quat Normalised(Quat q) {
  const double length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (!(length > 1e-12) || !std::isfinite(length)) return Quat{};
  return {q.x / length, q.y / length, q.z / length, q.w / length};
}

Quat Slerp(Quat a, Quat b, double s) {
  double dot = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (dot < 0) {
    b = {-b.x, -b.y, -b.z, -b.w};
    dot = -dot;
  }
  double wa = 1 - s, wb = s;
  if (dot < 0.9995) {
    const double angle = std::acos(std::min(dot, 1.0));
    wa = std::sin((1 - s) * angle) / std::sin(angle);
    wb = std::sin(s * angle) / std::sin(angle);
  }
  return Normalised({wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w});
}

// The track's value at `time` of the sequence [start, end], into `out`
// (width values); false (out untouched) when the track has no key there.
// Global-sequence tracks run on their own clock.
bool Evaluate(const Track& track, const MdxModel& mdx, uint32_t time, uint32_t start, uint32_t end, double* out) {
  if (track.Empty()) return false;
  int64_t t = time, from = start, to = end;
  if (track.global_sequence >= 0) {
    const size_t g = static_cast<size_t>(track.global_sequence);
    const uint32_t duration = g < mdx.global_durations.size() ? mdx.global_durations[g] : 0;
    t = duration ? time % duration : 0;
    from = 0;
    to = duration;
  }
  size_t before = SIZE_MAX, after = SIZE_MAX;
  for (size_t k = 0; k < track.times.size(); ++k) {
    const int64_t key = track.times[k];
    if (key < from || key > to) continue;
    if (key <= t && (before == SIZE_MAX || key >= track.times[before])) before = k;
    if (key >= t && (after == SIZE_MAX || key < track.times[after])) after = k;
  }
  if (before == SIZE_MAX && after == SIZE_MAX) return false;
  if (before == SIZE_MAX) before = after;
  if (after == SIZE_MAX || track.times[after] == track.times[before] || track.interpolation == 0) after = before;
  const uint32_t w = track.width;
  const double* a = &track.values[before * w];
  const double* b = &track.values[after * w];
  const double s = after == before ? 0.0
                                   : static_cast<double>(t - track.times[before]) /
                                         static_cast<double>(track.times[after] - track.times[before]);
  if (w == 4) {
    const Quat q = Slerp(Normalised({a[0], a[1], a[2], a[3]}), Normalised({b[0], b[1], b[2], b[3]}), s);
    out[0] = q.x, out[1] = q.y, out[2] = q.z, out[3] = q.w;
    return true;
  }
  for (uint32_t c = 0; c < w; ++c) {
    if (track.interpolation == 2 && after != before) {
      const double out_tangent = track.out_tangents[before * w + c], in_tangent = track.in_tangents[after * w + c];
      const double s2 = s * s, s3 = s2 * s;
      out[c] = (2 * s3 - 3 * s2 + 1) * a[c] + (s3 - 2 * s2 + s) * out_tangent + (s3 - s2) * in_tangent +
               (-2 * s3 + 3 * s2) * b[c];
    } else if (track.interpolation == 3 && after != before) {
      const double out_tangent = track.out_tangents[before * w + c], in_tangent = track.in_tangents[after * w + c];
      const double r = 1 - s;
      out[c] = r * r * r * a[c] + 3 * s * r * r * out_tangent + 3 * s * s * r * in_tangent + s * s * s * b[c];
    } else {
      out[c] = Blend(a[c], b[c], s);
    }
  }
  return true;
}

// An affine transform: a 3x3 matrix and a translation.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

  Vec Apply(const double* p) const {
    Vec r;
    for (int i = 0; i < 3; ++i) r.v[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3];
    return r;
  }
  Affine Then(const Affine& inner) const {  // this × inner
    Affine r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j) {
        r.m[i][j] = m[i][0] * inner.m[0][j] + m[i][1] * inner.m[1][j] + m[i][2] * inner.m[2][j];
        if (j == 3) r.m[i][j] += m[i][3];
      }
    return r;
  }
};

// The node's transform relative to its parent: scaled and turned about its
// pivot, then moved.
Affine LocalTransform(const Node& node, const Vec& pivot, const MdxModel& mdx, uint32_t time, uint32_t start,
                      uint32_t end) {
  double t[3] = {0, 0, 0}, s[3] = {1, 1, 1}, r[4] = {0, 0, 0, 1};
  Evaluate(node.translation, mdx, time, start, end, t);
  Evaluate(node.scaling, mdx, time, start, end, s);
  Evaluate(node.rotation, mdx, time, start, end, r);
  const Quat q = Normalised({r[0], r[1], r[2], r[3]});
  const double xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  const double xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z, wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  const double rotation[3][3] = {{1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy)},
                                 {2 * (xy + wz), 1 - 2 * (xx + zz), 2 * (yz - wx)},
                                 {2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy)}};
  Affine a;
  for (int i = 0; i < 3; ++i) {
    double moved = 0;
    for (int j = 0; j < 3; ++j) {
      a.m[i][j] = rotation[i][j] * s[j];
      moved += a.m[i][j] * pivot.v[j];
    }
    a.m[i][3] = pivot.v[i] - moved + t[i];
  }
  return a;
}

// Every node's world transform at `time`; parents are followed by id, a
// cycle or a missing parent ends the chain.
std::vector<Affine> WorldTransforms(const MdxModel& mdx, const std::vector<int32_t>& by_id, uint32_t time,
                                    uint32_t start, uint32_t end) {
  const size_t n = mdx.nodes.size();
  std::vector<Affine> world(n);
  std::vector<uint8_t> done(n, 0);
  for (size_t i = 0; i < n; ++i) {
    // The chain from this node up to the first node already done.
    std::vector<size_t> chain;
    size_t at = i;
    while (!done[at] && chain.size() <= n) {
      chain.push_back(at);
      done[at] = 2;  // on the chain
      const uint32_t parent = mdx.nodes[at].parent;
      if (parent >= by_id.size() || by_id[parent] < 0 || done[static_cast<size_t>(by_id[parent])] == 2) break;
      at = static_cast<size_t>(by_id[parent]);
    }
    for (size_t k = chain.size(); k-- > 0;) {
      const size_t node = chain[k];
      const uint32_t id = mdx.nodes[node].object_id;
      const Vec pivot = id < mdx.pivots.size() ? mdx.pivots[id] : Vec{};
      const Affine local = LocalTransform(mdx.nodes[node], pivot, mdx, time, start, end);
      const uint32_t parent = mdx.nodes[node].parent;
      const bool has_parent = parent < by_id.size() && by_id[parent] >= 0 && done[by_id[parent]] == 1;
      world[node] = has_parent ? world[static_cast<size_t>(by_id[parent])].Then(local) : local;
      done[node] = 1;
    }
  }
  return world;
}

// ---- Filling the model ----------------------------------------------------

// The texture path: the stored name, its backslashes turned to slashes,
// under the file's folder. Its folders were named on a case-blind system:
// each is looked up ignoring case (the file name itself is, on loading).
int32_t LoadMdxTexture(ModelData& model, const std::string& name) {
  if (name.empty()) return -1;
  LogFormatted(LOG_DETAIL, " loading texture: [%s]\n", name.c_str());
  std::string path(model.settings.file_folder, strnlen(model.settings.file_folder, sizeof model.settings.file_folder));
  std::string component;
  for (char c : name) {
    if (c != '\\' && c != '/') {
      component += c;
      continue;
    }
    if (component.empty()) continue;
    const std::string found = model.companions ? model.companions->FindFile((path + component).c_str()) : "";
    path = (found.empty() ? path + component : found) + '/';
    component.clear();
  }
  path += component;
  return model.LoadTexture(path.c_str());
}

// The model material of each (file material, alpha) pair, made on first use.
int32_t MaterialFor(ModelData& model, const MdxModel& mdx, std::vector<int32_t>& textures, uint32_t material,
                    double alpha, std::vector<std::pair<uint64_t, int32_t>>& made) {
  if (material >= mdx.material_textures.size()) return kNoMaterial;
  const double opacity = mdx.material_alphas[material] * alpha;
  const uint8_t transparency = static_cast<uint8_t>(std::lround(opacity * 255));
  const uint64_t key = (uint64_t{material} << 8) | transparency;
  for (const auto& [k, index] : made)
    if (k == key) return index;
  const int32_t texture_id = mdx.material_textures[material];
  int32_t texture = -1;
  if (texture_id >= 0 && static_cast<size_t>(texture_id) < mdx.textures.size()) {
    if (textures[static_cast<size_t>(texture_id)] == -2)
      textures[static_cast<size_t>(texture_id)] = LoadMdxTexture(model, mdx.textures[static_cast<size_t>(texture_id)]);
    texture = textures[static_cast<size_t>(texture_id)];
  }
  model.ResetMaterial();
  model.material.texture = texture;
  model.material.transparency = transparency;
  char name[48];
  std::snprintf(name, sizeof name, "Material%" PRIu32, material);
  model.SetMaterialName(name);
  const int32_t index = model.AddMaterial();
  made.emplace_back(key, index);
  return index;
}

double GeosetAlpha(const MdxModel& mdx, uint32_t geoset) {
  for (const auto& entry : mdx.geoset_alphas) {
    if (entry.geoset != geoset) continue;
    double value = entry.alpha;
    // An animated alpha: its value where the first sequence begins.
    if (!mdx.sequences.empty())
      Evaluate(entry.track, mdx, mdx.sequences[0].start, mdx.sequences[0].start, mdx.sequences[0].end, &value);
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 1.0;
  }
  return 1.0;
}

// The nodes become joints at their pivots, each tied to its parent's joint
// (or the root) by a bone. Parents come before children whatever the file's order.
void StoreSkeleton(ModelData& model, MdxModel& mdx, const std::vector<int32_t>& by_id) {
  std::vector<uint8_t> placed(mdx.nodes.size(), 0);
  bool progress = true;
  while (progress) {
    progress = false;
    for (size_t i = 0; i < mdx.nodes.size(); ++i) {
      Node& node = mdx.nodes[i];
      if (placed[i]) continue;
      int32_t parent_joint = 0;
      if (node.parent < by_id.size() && by_id[node.parent] >= 0) {
        const size_t parent = static_cast<size_t>(by_id[node.parent]);
        if (!placed[parent]) continue;
        parent_joint = mdx.nodes[parent].joint >= 0 ? mdx.nodes[parent].joint : 0;
      }
      placed[i] = 1;
      progress = true;
      if (model.joints_count >= ModelData::kMaxJoints || model.bones_count + 1 >= ModelData::kMaxBones) continue;
      const Vec pivot = node.object_id < mdx.pivots.size() ? mdx.pivots[node.object_id] : Vec{};
      char name[kNameSize + 16];
      std::snprintf(name, sizeof name, "%s", node.name[0] ? node.name : "node");
      JointRecord probe{};
      for (uint32_t j = 0; j < model.joints_count; ++j) {
        model.GetJointInfo(j, &probe);
        if (std::strncmp(probe.name, name, ModelData::kNameLength) == 0) {
          // Joints are found by name: a repeated one gets the node's id.
          std::snprintf(name, sizeof name, "%.30s#%" PRIu32, node.name, node.object_id);
          break;
        }
      }
      node.joint = model.AddJoint(pivot.v[0], pivot.v[1], pivot.v[2], name);
      if (node.joint < 0) continue;
      double parent_position[3] = {0, 0, 0};
      model.GetJointPosition(static_cast<uint32_t>(parent_joint), parent_position[0], parent_position[1],
                             parent_position[2]);
      const double length = std::hypot(pivot.v[0] - parent_position[0], pivot.v[1] - parent_position[1],
                                       pivot.v[2] - parent_position[2]);
      node.bone = model.AddBone(static_cast<int16_t>(parent_joint), static_cast<int16_t>(node.joint), length);
      if (node.bone >= 0) model.SetBoneName(static_cast<uint32_t>(node.bone), name);
    }
  }
  const size_t left = static_cast<size_t>(std::count(placed.begin(), placed.end(), 0));
  if (left) LogFormatted(LOG_ERROR, "LoadMdx: %zu nodes have parents in a cycle, not placed\n", left);
}

// One frame per distinct key time inside each sequence, its ends included;
// too many frames are thinned evenly.
std::vector<std::vector<uint32_t>> FrameTimes(const MdxModel& mdx) {
  std::vector<int32_t> keys;
  for (const Node& node : mdx.nodes)
    for (const Track* track : {&node.translation, &node.rotation, &node.scaling})
      if (track->global_sequence < 0) keys.insert(keys.end(), track->times.begin(), track->times.end());
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  std::vector<std::vector<uint32_t>> times;
  size_t total = 0;
  for (const Sequence& s : mdx.sequences) {
    std::vector<uint32_t> own = {s.start};
    for (int32_t key : keys)
      if (key > static_cast<int64_t>(s.start) && key < static_cast<int64_t>(s.end))
        own.push_back(static_cast<uint32_t>(key));
    if (s.end != s.start) own.push_back(s.end);
    total += own.size();
    times.push_back(std::move(own));
  }
  if (total > kMaxFrames) {
    const double keep = static_cast<double>(kMaxFrames) / static_cast<double>(total);
    for (auto& own : times) {
      const size_t want = std::max<size_t>(2, static_cast<size_t>(static_cast<double>(own.size()) * keep));
      if (own.size() <= want) continue;
      std::vector<uint32_t> thinned;
      for (size_t k = 0; k < want; ++k) thinned.push_back(own[k * (own.size() - 1) / (want - 1)]);
      own = std::move(thinned);
    }
  }
  return times;
}

bool StoreAnimation(ModelData& model, const MdxModel& mdx, const std::vector<int32_t>& by_id,
                    const std::vector<uint32_t>& first_vertex) {
  const std::vector<std::vector<uint32_t>> times = FrameTimes(mdx);
  size_t frames = 0;
  for (const auto& own : times) frames += own.size();
  if (frames == 0 || model.vertexs_count == 0) return true;
  if (!model.SetAnimVertCount(model.vertexs_count) || !model.SetAnimFramesCount(static_cast<uint32_t>(frames))) {
    LogMessage("LoadMdx: the vertex animation does not fit in memory\n", LOG_ERROR);
    return false;
  }
  const uint32_t saved_writes = model.relative_writes;
  model.relative_writes = 0;
  uint32_t frame = 0;
  for (size_t s = 0; s < times.size(); ++s) {
    const Sequence& sequence = mdx.sequences[s];
    std::snprintf(model.animation_segment.name, sizeof model.animation_segment.name, "%.59s", sequence.name);
    model.animation_segment.first_frame = frame;
    model.animation_segment.frames = static_cast<uint32_t>(times[s].size());
    model.AddAnimationSegment();
    for (uint32_t time : times[s]) {
      const std::vector<Affine> world = WorldTransforms(mdx, by_id, time, sequence.start, sequence.end);
      for (size_t gi = 0; gi < mdx.geosets.size(); ++gi) {
        const Geoset& g = mdx.geosets[gi];
        for (size_t v = 0; v < g.positions.size() / 3; ++v) {
          const double p[3] = {g.positions[v * 3], g.positions[v * 3 + 1], g.positions[v * 3 + 2]};
          double sum[3] = {0, 0, 0};
          uint32_t used = 0;
          if (v < g.groups.size() && g.groups[v] < g.matrix_groups.size())
            for (uint32_t id : g.matrix_groups[g.groups[v]]) {
              if (id >= by_id.size() || by_id[id] < 0) continue;
              const Vec moved = world[static_cast<size_t>(by_id[id])].Apply(p);
              for (int c = 0; c < 3; ++c) sum[c] += moved.v[c];
              ++used;
            }
          for (int c = 0; c < 3; ++c) sum[c] = used ? sum[c] / used : p[c];
          model.Animation_SetVertexPos(frame, first_vertex[gi] + static_cast<uint32_t>(v), sum[0], sum[1], sum[2]);
        }
      }
      ++frame;
    }
  }
  model.relative_writes = saved_writes;
  model.vertex_animation_present = 1;
  model.SkeletOwningType = so_vertexs;
  return true;
}

bool StoreGeometry(ModelData& model, MdxModel& mdx, std::vector<uint32_t>& first_vertex) {
  std::vector<int32_t> textures(mdx.textures.size(), -2);  // -2 not loaded yet
  std::vector<std::pair<uint64_t, int32_t>> made;
  bool any_normals = false;
  for (const Geoset& g : mdx.geosets) any_normals = any_normals || !g.normals.empty();
  model.vert_normals_present = any_normals ? 1 : 0;
  for (size_t gi = 0; gi < mdx.geosets.size(); ++gi) {
    const Geoset& g = mdx.geosets[gi];
    const uint32_t vertexs = static_cast<uint32_t>(g.positions.size() / 3);
    first_vertex.push_back(model.vertexs_count);
    char name[32];
    std::snprintf(name, sizeof name, "Geoset%zu", gi);
    model.SetObjectName(name);
    LogFormatted(LOG_DETAIL, "  obj %zu. p:%zu v:%lu\n", gi, g.triangles.size() / 3, static_cast<unsigned long>(vertexs));
    for (uint32_t v = 0; v < vertexs; ++v) {
      model.StoreVertex(g.positions[v * 3], g.positions[v * 3 + 1], g.positions[v * 3 + 2]);
      if (!g.normals.empty())
        model.SetVertexNormal(v, {g.normals[v * 3], g.normals[v * 3 + 1], g.normals[v * 3 + 2]});
      if (!g.texcoords.empty()) model.SetVertexTexcoord(v, g.texcoords[v * 2], g.texcoords[v * 2 + 1]);
    }
    if (model.vertexs_count != first_vertex.back() + vertexs) {
      LogMessage("LoadMdx: too many vertexs for the model\n", LOG_ERROR);
      return false;
    }
    const int32_t material = MaterialFor(model, mdx, textures, g.material, GeosetAlpha(mdx, static_cast<uint32_t>(gi)), made);
    uint32_t stored = 0;
    for (size_t t = 0; t + 2 < g.triangles.size(); t += 3) {
      if (!model.StorePolygon(3, &g.triangles[t])) break;
      model.SetPolygonMaterial(stored++, material);
    }
    model.NewObject();
  }
  model.FinishObjects();
  return true;
}

}  // namespace

int LoadMdx(ModelData& model, FILE* file) {
  LogMessage("Loading mdx ...\n", LOG_MAJOR);
  model.relative_writes = 1;
  model.SetModelOrientation(4, 0, 3);
  std::vector<uint8_t> bytes;
  if (!ReadRestOfFile(file, bytes, "LoadMdx")) return 0;
  ByteReader reader(bytes);
  const uint8_t* magic = reader.Take(4);
  if (!magic || std::memcmp(magic, "MDLX", 4) != 0) {
    LogMessage("LoadMdx: the file does not begin with MDLX\n", LOG_ERROR);
    return 0;
  }
  MdxModel mdx;
  if (!ReadChunks(reader, mdx)) return 0;
  LogFormatted(LOG_DETAIL, " %zu geosets, %zu materials, %zu textures, %zu nodes, %zu sequences\n",
               mdx.geosets.size(), mdx.material_textures.size(), mdx.textures.size(), mdx.nodes.size(),
               mdx.sequences.size());

  // Nodes by object id. Ids are shared with the node kinds not read here
  // (attachments, lights, emitters...), so they may pass the nodes' count;
  // an id no file needs, or one used twice, is not followed.
  size_t id_count = 0;
  for (const Node& node : mdx.nodes)
    if (node.object_id < kMaxNodeIds) id_count = std::max<size_t>(id_count, node.object_id + size_t{1});
  std::vector<int32_t> by_id(id_count, -1);
  for (size_t i = 0; i < mdx.nodes.size(); ++i)
    if (mdx.nodes[i].object_id < by_id.size() && by_id[mdx.nodes[i].object_id] < 0)
      by_id[mdx.nodes[i].object_id] = static_cast<int32_t>(i);
    else
      LogFormatted(LOG_ERROR, "LoadMdx: node [%s] has an id out of range or used twice, not followed\n",
                   mdx.nodes[i].name);

  std::vector<uint32_t> first_vertex;
  if (!StoreGeometry(model, mdx, first_vertex)) return 0;
  StoreSkeleton(model, mdx, by_id);
  // Vertex owners: the bone of the first node of the vertex's group.
  for (size_t gi = 0; gi < mdx.geosets.size(); ++gi) {
    const Geoset& g = mdx.geosets[gi];
    for (size_t v = 0; v < g.groups.size(); ++v) {
      if (g.groups[v] >= g.matrix_groups.size() || g.matrix_groups[g.groups[v]].empty()) continue;
      const uint32_t id = g.matrix_groups[g.groups[v]][0];
      if (id >= by_id.size() || by_id[id] < 0 || mdx.nodes[static_cast<size_t>(by_id[id])].bone < 0) continue;
      const uint32_t saved = model.relative_writes;
      model.relative_writes = 0;
      model.SetVertexOwner(first_vertex[gi] + static_cast<uint32_t>(v),
                           static_cast<uint16_t>(mdx.nodes[static_cast<size_t>(by_id[id])].bone));
      model.relative_writes = saved;
    }
  }
  if (!StoreAnimation(model, mdx, by_id, first_vertex)) return 0;

  model.vert_texcoords_present = 1;
  model.poly_materials_present = 1;
  LogMessage("... mdx loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
