// "FF8 battle model": a monster's battle file. A table of section offsets
// (count, offsets, then the file size) leads to the skeleton (section 1),
// the geometry (section 2), the animations (section 3) and the textures
// (section 11); the sections between hold battle data that is not a model.
//
// Skeleton: bone count, 14 bytes, then 48-byte bones (parent, negative
// length, rotations). Geometry: an object table; each object lists runs of
// vertices owned by one bone, is padded to a 4-byte file position, then
// holds triangle and quad counts, 8 zero bytes, 16-byte triangles and
// 20-byte quads. Vertex coordinates are bone relative. Textures: a table of
// embedded TIM pictures, read from memory by the TIM picture loader.
//
// Animations: a table of offsets; each animation is a frame count byte and
// a bit stream (least significant bit first, fields sign-extended) of
// frames. A frame holds a root movement (three fields of a 2-bit width code
// and 3, 6, 9 or 16 bits), a bit that says whether the bones carry scale
// fields, then per bone three rotations (a presence bit, then a 2-bit width
// code and 3, 6, 8 or 12 bits; 4096 units make a turn) and, with that bit
// set, three scales (a presence bit and 16 bits). Rotations and movements
// are changes from the frame before, the first frame's from zero. Every
// animation becomes a run of the model's frames and a segment; animation 0
// frame 0 is the rest pose.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <algorithm>
#include <vector>

#include "core/bit_reader.h"
#include "core/byte_reader.h"
#include "core/companion_files.h"
#include "core/format_table.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon {
namespace {

constexpr uint64_t kSkeletonHeaderSize = 16;
constexpr uint64_t kBoneRecordSize = 48;
constexpr uint64_t kTriangleSize = 16;
constexpr uint64_t kQuadSize = 20;
constexpr uint64_t kVertexSize = 6;
constexpr uint32_t kSkeletonSection = 0;
constexpr uint32_t kGeometrySection = 1;
constexpr uint32_t kAnimationSection = 2;
constexpr uint32_t kTextureSection = 10;
constexpr unsigned kMoveWidths[4] = {3, 6, 9, 16};
constexpr unsigned kTurnWidths[4] = {3, 6, 8, 12};
constexpr unsigned kScaleWidth = 16;
constexpr double kDegreesPerUnit = 360.0 / 4096.0;
constexpr uint16_t kNoParent = 0xFFFF;
constexpr uint16_t kIndexMask = 0x0FFF;  // the top bits of a corner index are flags
constexpr double kDefaultTextureSize = 128.0;

unsigned long Ul(uint64_t value) { return static_cast<unsigned long>(value); }

class DatLoader {
 public:
  explicit DatLoader(ModelData& model) : model_(model) {}

  int Run(FILE* file) {
    LogMessage("Loading ff8 dat...\n", LOG_MAJOR);
    if (!ReadRestOfFile(file, bytes_, "LoadFf8Dat")) return 0;
    if (!ReadSectionTable()) return 0;
    // Indexes are absolute throughout.
    model_.relative_reads = 0;
    model_.relative_writes = 0;
    model_.poly_materials_present = 1;
    model_.point_texcoords_present = 1;

    if (!ReadSkeleton(Section(kSkeletonSection))) return 0;
    if (sections_.size() > kTextureSection) ReadTextures(Section(kTextureSection));
    if (!ReadGeometry(Section(kGeometrySection), SectionStart(kGeometrySection))) return 0;
    if (sections_.size() > kAnimationSection) ReadAnimations(Section(kAnimationSection));

    model_.FinishObjects();
    model_.SkeletOwningType = so_vertexs;
    // Up is -y, as on the console the game was made for; x and z complete a
    // right-handed frame.
    model_.SetModelOrientation(3, 0, 5);
    // The joints stand where the rest pose puts them.
    if (model_.bone_animation_present) model_.CalcJoints(0.0f);
    LogFormatted(LOG_DETAIL, " %lu bones, %lu objects, %lu triangles, %lu quads, %lu textures, %lu frames\n",
                 Ul(bones_), Ul(objects_), Ul(triangles_), Ul(quads_), Ul(model_.textures_count),
                 Ul(model_.anim_frames_count));
    LogMessage("...ff8 dat loaded\n", LOG_MAJOR);
    return 1;
  }

 private:
  // The table: a count, that many offsets and the file size; every section
  // lies inside the file and none starts before the one in front of it.
  bool ReadSectionTable() {
    ByteReader reader(bytes_);
    const uint32_t count = reader.U32Le();
    if (!reader.Ok() || count < 2 || !reader.Fits(uint64_t{count} + 1, 4)) {
      LogMessage("LoadFf8Dat: the section table does not fit the file\n", LOG_ERROR);
      return false;
    }
    for (uint32_t i = 0; i <= count; ++i) sections_.push_back(reader.U32Le());
    const uint64_t table_end = 8 + 4 * uint64_t{count};
    if (sections_.back() != bytes_.size()) {
      LogFormatted(LOG_ERROR, "LoadFf8Dat: the table gives the size %lu, the file has %lu bytes\n",
                   Ul(sections_.back()), Ul(bytes_.size()));
      return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
      if (sections_[i] < table_end || sections_[i] > sections_[i + 1]) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: section %lu lies outside the file or out of order\n", Ul(i + 1));
        return false;
      }
    }
    sections_.pop_back();
    return true;
  }

  uint64_t SectionStart(uint32_t i) const { return sections_[i]; }
  ByteReader Section(uint32_t i) const {
    const uint64_t end = i + 1 < sections_.size() ? sections_[i + 1] : bytes_.size();
    return ByteReader(bytes_.data() + sections_[i], static_cast<size_t>(end - sections_[i]));
  }

  bool ReadSkeleton(ByteReader reader) {
    if (reader.Size() == 0) {
      LogMessage("LoadFf8Dat: the file has no skeleton\n", LOG_ERROR);
      return false;
    }
    const uint16_t bones = reader.U16Le();
    reader.Seek(kSkeletonHeaderSize);
    if (!reader.Ok() || !reader.Fits(bones, kBoneRecordSize)) {
      LogFormatted(LOG_ERROR, "LoadFf8Dat: %lu bones announced, the skeleton cannot hold them\n", Ul(bones));
      return false;
    }
    if (bones > ModelData::kMaxBones - 1) {
      LogFormatted(LOG_ERROR, "LoadFf8Dat: %lu bones, more than a model holds\n", Ul(bones));
      return false;
    }
    // Joint 0, the root, comes with the model; bone i ends at joint i + 1.
    for (uint32_t i = 0; i < bones; ++i) {
      ByteReader bone = reader.Chunk(kBoneRecordSize);
      const uint16_t parent = bone.U16Le();
      const int16_t length = bone.I16Le();
      int32_t first = parent == kNoParent ? 0 : parent + 1;
      if (parent != kNoParent && parent >= i) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: bone %lu names parent %lu, hung on the root\n", Ul(i), Ul(parent));
        first = 0;
      }
      char name[16];
      std::snprintf(name, sizeof name, "b%lu", Ul(i));
      model_.AddJoint(0.0, 0.0, 0.0, name);
      model_.AddBone(static_cast<int16_t>(first), static_cast<int16_t>(i + 1), -static_cast<double>(length));
    }
    bones_ = bones;
    model_.LayoutSkeleton();
    return true;
  }

  // Each embedded picture becomes one texture and one material; a picture
  // that cannot be read keeps its place with a placeholder, so texture
  // numbers in the faces still name the right one.
  void ReadTextures(ByteReader reader) {
    if (reader.Size() == 0) return;
    const uint32_t count = reader.U32Le();
    if (!reader.Ok() || !reader.Fits(uint64_t{count} + 1, 4)) {
      LogMessage("LoadFf8Dat: the texture table does not fit its section\n", LOG_ERROR);
      return;
    }
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i <= count; ++i) offsets.push_back(reader.U32Le());
    if (count > ModelData::kMaxTextures) {
      LogFormatted(LOG_ERROR, "LoadFf8Dat: only the first %lu of %lu textures are kept\n",
                   Ul(ModelData::kMaxTextures), Ul(count));
    }
    for (uint32_t i = 0; i < count && i < ModelData::kMaxTextures; ++i) {
      char name[ModelData::kNameLength + 1];
      std::snprintf(name, sizeof name, "%.24s_%02lu.tim", model_.settings.file_name, Ul(i));
      int32_t texture = -1;
      const uint64_t end = i + 1 < count ? offsets[i + 1] : reader.Size();
      if (offsets[i] <= end && end <= reader.Size()) {
        texture = StoreTim(reader.Data() + offsets[i], static_cast<size_t>(end - offsets[i]), name);
      } else {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: texture %lu lies outside its section\n", Ul(i));
      }
      if (texture < 0) texture = model_.CreateEmptyTexture(name);
      model_.ResetMaterial();
      model_.material.texture = texture;
      model_.SetMaterialName(name);
      const int32_t material = model_.AddMaterial();
      materials_.push_back(material);
      texture_sizes_.push_back(texture >= 0 ? TextureSize(texture) : std::pair{kDefaultTextureSize, kDefaultTextureSize});
    }
  }

  std::pair<double, double> TextureSize(int32_t texture) {
    const TextureRecord& record = model_.Texture(static_cast<uint32_t>(texture));
    if (record.width == 0 || record.height == 0) return {kDefaultTextureSize, kDefaultTextureSize};
    return {static_cast<double>(record.width), static_cast<double>(record.height)};
  }

  // The embedded picture is read by the TIM picture loader, from memory.
  int32_t StoreTim(const uint8_t* data, size_t size, const char* name) {
    if (!model_.companions) {
      LogMessage("LoadFf8Dat: no access to the picture readers\n", LOG_ERROR);
      return -1;
    }
    BitmapData picture;
    if (!model_.companions->LoadPictureFromMemory(data, size, name, TYPE_TIM, model_.settings, picture) ||
        !picture.BitmapConvertToMode(MODE_RGBA8888) || picture.Mode() != MODE_RGBA8888) {
      LogFormatted(LOG_ERROR, "LoadFf8Dat: embedded texture [%s] could not be read\n", name);
      return -1;
    }
    if (!model_.SetUpTexture(picture.SizeX(), picture.SizeY(), name, 0)) return -1;
    const uint32_t index = model_.textures_count - 1;
    const uint64_t pixels = uint64_t{picture.SizeX()} * picture.SizeY();
    std::vector<uint8_t> row(uint64_t{picture.SizeX()} * 4);
    for (uint64_t first = 0; first < pixels; first += picture.SizeX()) {
      if (!picture.GetPixels(static_cast<uint32_t>(first), picture.SizeX(), row.data()))
        std::fill(row.begin(), row.end(), 0);
      model_.SetTextureData(index, row.data(), static_cast<uint32_t>(first * 4), static_cast<uint32_t>(row.size()));
    }
    return static_cast<int32_t>(index);
  }

  bool ReadGeometry(ByteReader reader, uint64_t section_start) {
    const uint32_t count = reader.U32Le();
    if (!reader.Ok() || !reader.Fits(count, 4)) {
      LogMessage("LoadFf8Dat: the object table does not fit the geometry section\n", LOG_ERROR);
      return false;
    }
    if (count == 0) {
      LogMessage("LoadFf8Dat: the file has no geometry\n", LOG_ERROR);
      return false;
    }
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < count; ++i) offsets.push_back(reader.U32Le());
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t end = i + 1 < count ? offsets[i + 1] : reader.Size();
      if (offsets[i] < reader.Position() || offsets[i] > end || end > reader.Size()) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: object %lu lies outside the geometry section\n", Ul(i));
        return false;
      }
      ByteReader object(reader.Data() + offsets[i], static_cast<size_t>(end - offsets[i]));
      if (!ReadObject(object, section_start + offsets[i], i)) return false;
    }
    return true;
  }

  bool ReadObject(ByteReader& reader, uint64_t file_position, uint32_t index) {
    const uint32_t first_vertex = model_.vertexs_count;
    const uint16_t runs = reader.U16Le();
    uint32_t vertices = 0;
    for (uint32_t r = 0; r < runs && reader.Ok(); ++r) {
      const uint16_t bone = reader.U16Le();
      const uint16_t run = reader.U16Le();
      if (!reader.Ok() || !reader.Fits(run, kVertexSize)) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: object %lu: a vertex run is cut\n", Ul(index));
        return false;
      }
      if (bone >= bones_) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: object %lu: vertices owned by bone %lu of %lu\n", Ul(index), Ul(bone),
                     Ul(bones_));
        return false;
      }
      for (uint32_t v = 0; v < run; ++v) {
        const double x = reader.I16Le(), y = reader.I16Le(), z = reader.I16Le();
        model_.StoreVertex(x, y, z);
        if (model_.vertexs_count == first_vertex + vertices) return false;  // the model is full
        model_.SetVertexOwner(model_.vertexs_count - 1, bone);
        ++vertices;
      }
    }
    // The face counts start at a 4-byte file position.
    const uint64_t at = file_position + reader.Position();
    reader.Seek(reader.Position() + (4 - at % 4) % 4);
    const uint16_t triangles = reader.U16Le();
    const uint16_t quads = reader.U16Le();
    reader.Seek(reader.Position() + 8);
    if (!reader.Ok() || !reader.Fits(triangles, kTriangleSize) ||
        !reader.Fits(uint64_t{triangles} * kTriangleSize + uint64_t{quads} * kQuadSize)) {
      LogFormatted(LOG_ERROR, "LoadFf8Dat: object %lu: %lu triangles and %lu quads do not fit\n", Ul(index),
                   Ul(triangles), Ul(quads));
      return false;
    }
    for (uint32_t t = 0; t < triangles; ++t) {
      ByteReader face = reader.Chunk(kTriangleSize);
      uint32_t corner[3];
      for (uint32_t& c : corner) c = face.U16Le() & kIndexMask;
      uint8_t uv[3][2];
      face.ReadBytes(uv[0], 2);
      face.ReadBytes(uv[1], 2);
      const uint16_t texture = face.U16Le();
      face.ReadBytes(uv[2], 2);
      if (!StoreFace(corner, uv, 3, texture, first_vertex, vertices, index)) return false;
    }
    for (uint32_t q = 0; q < quads; ++q) {
      ByteReader face = reader.Chunk(kQuadSize);
      uint32_t stored[4];
      for (uint32_t& c : stored) c = face.U16Le() & kIndexMask;
      uint8_t stored_uv[4][2];
      face.ReadBytes(stored_uv[0], 2);
      const uint16_t texture = face.U16Le();
      face.ReadBytes(stored_uv[1], 2);
      face.U16Le();
      face.ReadBytes(stored_uv[2], 2);
      face.ReadBytes(stored_uv[3], 2);
      // Quads are kept in strip order (the last two corners swapped).
      const uint32_t corner[4] = {stored[0], stored[1], stored[3], stored[2]};
      const uint8_t uv[4][2] = {{stored_uv[0][0], stored_uv[0][1]},
                                {stored_uv[1][0], stored_uv[1][1]},
                                {stored_uv[3][0], stored_uv[3][1]},
                                {stored_uv[2][0], stored_uv[2][1]}};
      if (!StoreFace(corner, uv, 4, texture, first_vertex, vertices, index)) return false;
    }
    triangles_ += triangles;
    quads_ += quads;
    char name[ModelData::kNameLength + 1];
    std::snprintf(name, sizeof name, "object%02lu", Ul(index));
    model_.SetObjectName(name);
    model_.NewObject();
    ++objects_;
    return true;
  }

  bool StoreFace(const uint32_t* corner, const uint8_t (*uv)[2], uint32_t count, uint16_t texture_field,
                 uint32_t first_vertex, uint32_t vertices, uint32_t object) {
    uint32_t absolute[4];
    for (uint32_t k = 0; k < count; ++k) {
      if (corner[k] >= vertices) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: object %lu: a face names vertex %lu of %lu\n", Ul(object),
                     Ul(corner[k]), Ul(vertices));
        return false;
      }
      absolute[k] = first_vertex + corner[k];
    }
    const uint32_t before = model_.polygons_count;
    if (!model_.StorePolygon(count, absolute) || model_.polygons_count == before) return false;
    const uint32_t polygon = model_.polygons_count - 1;
    // Bits 6 to 8 choose the texture.
    const uint32_t texture = (texture_field >> 6) & 7;
    std::pair<double, double> size{kDefaultTextureSize, kDefaultTextureSize};
    if (texture < materials_.size()) {
      model_.SetPolygonMaterial(polygon, materials_[texture]);
      size = texture_sizes_[texture];
    }
    uint32_t first_point = 0, points = 0;
    if (model_.ReadPolygonPointData(polygon, first_point, points) && points == count) {
      for (uint32_t k = 0; k < count; ++k)
        model_.SetPointTexcoord(first_point + k, uv[k][0] / size.first, uv[k][1] / size.second);
    }
    return true;
  }

  // ---- Animations -----------------------------------------------------
  // Decodes every animation that is whole; a damaged one ends the list (the
  // ones before it are kept). Nothing is stored without a whole frame.
  void ReadAnimations(ByteReader reader) {
    if (reader.Size() == 0 || bones_ == 0) {
      LogMessage(" the file has no animation, the parts are not posed\n", LOG_DETAIL);
      return;
    }
    const uint32_t count = reader.U32Le();
    if (!reader.Ok() || !reader.Fits(count, 4)) {
      LogMessage("LoadFf8Dat: the animation table does not fit its section\n", LOG_ERROR);
      return;
    }
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < count; ++i) offsets.push_back(reader.U32Le());
    const uint64_t per_frame = uint64_t{bones_} * 3;
    // What the model's rotation store can hold (one more frame for its scratch).
    const uint64_t frame_limit = ModelData::kMaxAnimationStoreBytes / (uint64_t{bones_} * 24) - 1;
    std::vector<double> angles;
    std::vector<std::pair<uint32_t, uint32_t>> runs;  // first frame, frames
    uint64_t next_free = reader.Position();
    for (uint32_t a = 0; a < count; ++a) {
      if (runs.size() == ModelData::kMaxAnimationSegments) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: only the first %lu of %lu animations are kept\n", Ul(runs.size()),
                     Ul(count));
        break;
      }
      // Animations follow one another; one that overlaps the last is damage.
      if (offsets[a] < next_free || offsets[a] >= reader.Size()) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: animation %lu lies outside its section, the animations end there\n",
                     Ul(a));
        break;
      }
      const uint8_t frames = reader.Data()[offsets[a]];
      const uint64_t first = angles.size() / per_frame;
      if (first + frames > frame_limit) {
        LogFormatted(LOG_ERROR, "LoadFf8Dat: animation %lu does not fit the model's frames, the animations end there\n",
                     Ul(a));
        break;
      }
      BitReader bits(reader.Data() + offsets[a] + 1, reader.Size() - offsets[a] - 1);
      if (!ReadAnimation(bits, frames, angles)) {
        angles.resize(first * per_frame);
        LogFormatted(LOG_ERROR, "LoadFf8Dat: animation %lu is cut, the animations end there\n", Ul(a));
        break;
      }
      runs.emplace_back(static_cast<uint32_t>(first), frames);
      next_free = offsets[a] + 1 + bits.BytesUsed();
    }
    StoreAnimations(angles, runs);
  }

  // One animation's frames, each the sum of the changes so far, appended to
  // `angles` (degrees, frame-major, bones × x y z).
  bool ReadAnimation(BitReader& bits, uint32_t frames, std::vector<double>& angles) {
    std::vector<int64_t> turned(uint64_t{bones_} * 3, 0);
    for (uint32_t f = 0; f < frames; ++f) {
      // The root's movement cannot be kept (joints hold one position for
      // every frame), but its fields lie in the way.
      for (int k = 0; k < 3; ++k) bits.SignedBits(kMoveWidths[bits.Bits(2)]);
      const bool scaled = bits.Bits(1) != 0;
      for (uint32_t b = 0; b < bones_; ++b) {
        for (int k = 0; k < 3; ++k)
          if (bits.Bits(1)) turned[3 * b + k] += bits.SignedBits(kTurnWidths[bits.Bits(2)]);
        // Bone scales are not part of a pose here; they are passed.
        if (scaled)
          for (int k = 0; k < 3; ++k)
            if (bits.Bits(1)) bits.Bits(kScaleWidth);
      }
      if (!bits.Ok()) return false;
      for (int64_t units : turned) angles.push_back(static_cast<double>(units) * kDegreesPerUnit);
    }
    return true;
  }

  void StoreAnimations(const std::vector<double>& angles, const std::vector<std::pair<uint32_t, uint32_t>>& runs) {
    const uint64_t per_frame = uint64_t{bones_} * 3;
    const uint32_t frames = static_cast<uint32_t>(angles.size() / per_frame);
    if (frames == 0) {
      LogMessage(" no animation frame, the parts are not posed\n", LOG_DETAIL);
      return;
    }
    if (!model_.SetAnimBonesCount(bones_) || model_.animation_bones_count != bones_ ||
        !model_.SetAnimFramesCount(frames) || model_.anim_frames_count != frames) {
      LogMessage("LoadFf8Dat: the model cannot hold the animations\n", LOG_ERROR);
      return;
    }
    for (uint32_t f = 0; f < frames; ++f) {
      for (uint32_t b = 0; b < bones_; ++b) {
        const double* turn = &angles[f * per_frame + 3 * b];
        StoreRotation(f, b, turn[0], turn[1], turn[2]);
      }
    }
    for (size_t a = 0; a < runs.size(); ++a) {
      if (runs[a].second == 0) continue;
      std::snprintf(model_.animation_segment.name, sizeof model_.animation_segment.name, "anim%02lu", Ul(a));
      model_.animation_segment.first_frame = runs[a].first;
      model_.animation_segment.frames = runs[a].second;
      model_.AddAnimationSegment();
    }
    model_.bone_animation_present = 1;
    model_.chained_bone_rotations = 1;
  }

  // A bone turns by z, then x, then y (applied to a point in that order),
  // x the other way round from the model's. The files do not say; of the
  // orders and senses the model can pose, this one joins the parts of real
  // monsters best.
  void StoreRotation(uint32_t frame, uint32_t bone, double x, double y, double z) {
    model_.SetBoneRot(frame, bone, z, -y, -x);
  }

  ModelData& model_;
  std::vector<uint8_t> bytes_;
  std::vector<uint32_t> sections_;
  std::vector<int32_t> materials_;
  std::vector<std::pair<double, double>> texture_sizes_;
  uint32_t bones_ = 0;
  uint64_t objects_ = 0;
  uint64_t triangles_ = 0;
  uint64_t quads_ = 0;
};

}  // namespace

int LoadFf8Dat(ModelData& model, FILE* file) { return DatLoader(model).Run(file); }

}  // namespace zepcon
