// "FF7 battle skelet": a binary skeleton of a battle model (a 52-byte
// header, then per bone its parent, length and whether it carries a part).
// The parts, textures and the animation are separate files named after the
// skeleton: by letters for a four-letter name without extension (parts
// ..AM, ..AN, ..., textures ..AC, ..AD, ..., animation ..DA), by numbers
// for the extension "d" (.p00, .t00, .a00).
//
// Each part becomes one object owned by its bone. The animation packs three
// 12-bit angles per bone into a nibble stream per frame.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/ff7/ff7_common.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"

namespace zepcon {
namespace {

constexpr uint64_t kHeaderSize = 52;
constexpr uint64_t kBoneRecordSize = 12;
constexpr uint64_t kFrameHeaderSize = 23;
constexpr uint32_t kFrameSizeBias = 11;     // a frame's size counts 11 header bytes
constexpr uint32_t kMaxNumbered = 100;      // .p00 .. .p99
constexpr double kAngleUnit = 0.087890625;  // 360 / 4096 degrees

unsigned long Ul(uint64_t value) { return static_cast<unsigned long>(value); }

// Nibble n of the data (0 is the high nibble of byte 0).
uint32_t Nibble(const uint8_t* data, uint64_t n) { return n % 2 == 0 ? data[n / 2] >> 4 : data[n / 2] & 0x0F; }

class BattleLoader {
 public:
  explicit BattleLoader(ModelData& model)
      : model_(model),
        folder_(ff7::TextOf(model.settings.file_folder)),
        base_(ff7::TextOf(model.settings.file_name)) {}

  int Run(FILE* file) {
    LogMessage("Loading ff7 ??aa...\n", LOG_MAJOR);
    model_.relative_writes = 1;
    ChooseNaming();
    std::vector<uint8_t> bytes;
    if (!ReadRestOfFile(file, bytes, "LoadFf7Battle")) return 0;
    ByteReader reader(bytes);
    uint64_t bones = 0;
    if (reader.Fits(kHeaderSize)) {
      reader.Seek(12);
      bones = reader.U32Le();
      reader.Seek(kHeaderSize);
    } else {
      LogFormatted(LOG_ERROR, "LoadFf7Battle: the file is shorter (%zu bytes) than its header\n", bytes.size());
    }
    LogFormatted(LOG_DETAIL, " (%lu) bones\n", Ul(bones));
    bones = CheckedBoneCount(reader, bones);

    for (uint32_t i = 0; i < bones; ++i) ReadBone(reader, i, static_cast<uint32_t>(bones));

    model_.LayoutSkeleton();
    model_.PushTexturedVertexs(1.0f);
    model_.SetAnimBonesCount(static_cast<uint32_t>(bones));
    LoadAnimation(static_cast<uint32_t>(bones));

    model_.SkeletOwningType = so_objects;
    model_.bone_animation_present = 1;
    model_.chained_bone_rotations = 1;
    LogFormatted(LOG_DETAIL, "%lu of %lu model files loaded\n", Ul(parts_loaded_), Ul(parts_wanted_));
    LogMessage("...ff7 ??da loaded\n", LOG_MAJOR);
    return 1;
  }

 private:
  void ChooseNaming() {
    const std::string extension = ff7::TextOf(model_.settings.file_extension);
    if (extension.empty() && base_.size() == 4) {
      letters_ = true;
    } else if (extension == "d" || extension == "D") {
      letters_ = false;
    } else {
      LogMessage("File type could not be recognized by filename right, trying loading like Battle model\n",
                 LOG_ERROR);
      letters_ = true;
    }
    if (letters_) {
      // The first two letters of the base name, whatever its length.
      const std::string prefix = folder_ + base_.substr(0, 2);
      part_name_ = prefix + "AL";
      texture_name_ = prefix + "AC";
    }
  }

  // Bones the file holds records for, and the model can take.
  uint64_t CheckedBoneCount(const ByteReader& reader, uint64_t bones) {
    if (!reader.Fits(bones, kBoneRecordSize)) {
      const uint64_t there = reader.Remaining() / kBoneRecordSize;
      LogFormatted(LOG_ERROR, "LoadFf7Battle: %lu bones announced, the file holds %lu\n", Ul(bones), Ul(there));
      bones = there;
    }
    if (bones > ModelData::kMaxBones) {
      LogFormatted(LOG_ERROR, "LoadFf7Battle: only the first %lu bones are kept\n", Ul(ModelData::kMaxBones));
      bones = ModelData::kMaxBones;
    }
    return bones;
  }

  void ReadBone(ByteReader& reader, uint32_t i, uint32_t bones) {
    int32_t parent = reader.I32Le();
    const float length = reader.F32Le();
    const uint32_t carries_part = reader.U32Le();
    if (parent < -1 || parent >= static_cast<int32_t>(bones) || parent == static_cast<int32_t>(i)) {
      LogFormatted(LOG_ERROR, "LoadFf7Battle: bone %lu names parent %" PRId32 ", hung on the root\n", Ul(i), parent);
      parent = -1;
    }
    char joint_name[16];
    std::snprintf(joint_name, sizeof joint_name, "b%lu", Ul(i + 1));
    model_.AddJoint(0.0, 0.0, 0.0, joint_name);
    model_.AddBone(static_cast<int16_t>(parent + 1), static_cast<int16_t>(i + 1), -static_cast<double>(length));
    if (carries_part != 1) return;
    ++parts_wanted_;
    std::string part;
    if (!NextPart(&part)) return;
    LoadPart(part, i);
  }

  // The next part file that opens, going on from where the last search stopped.
  bool NextPart(std::string* found) {
    while (!parts_exhausted_) {
      std::string candidate;
      if (letters_) {
        StepLetters(part_name_);
        const char third = part_name_[part_name_.size() - 2], fourth = part_name_.back();
        if (!(third < 'C' || (third == 'C' && fourth < 'K'))) break;
        candidate = part_name_;
      } else {
        if (next_number_ >= kMaxNumbered) break;
        candidate = Numbered("p", next_number_++);
      }
      if (FILE* file = ff7::OpenCompanion(model_, candidate, "rb", found)) {
        std::fclose(file);
        return true;
      }
    }
    if (!parts_exhausted_) LogMessage("Could not find any more P files ! \n", LOG_ERROR);
    parts_exhausted_ = true;
    return false;
  }

  // The last letter steps; past "Z" it becomes "A" and the one before steps.
  static void StepLetters(std::string& name) {
    char& fourth = name.back();
    if (fourth >= 'Z') {
      fourth = 'A';
      ++name[name.size() - 2];
    } else {
      ++fourth;
    }
  }

  std::string Numbered(const char* letter, uint32_t number) const {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%s%02u", letter, number);
    return folder_ + base_ + suffix;
  }

  void LoadPart(const std::string& path, uint32_t bone) {
    LogFormatted(LOG_DETAIL, " found p: [%s]...", path.c_str());
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return;
    ff7::PPartInfo info;
    if (!ff7::IsPFile(file, path)) {
      LogMessage("file is not P !\n", LOG_ERROR);
      std::fclose(file);
      return;
    }
    const int loaded = ff7::LoadPPart(model_, file, &info);
    std::fclose(file);
    if (loaded) {
      ++parts_loaded_;
      LogMessage("Ok\n", LOG_DETAIL);
    }
    // No more textures than a model can hold.
    const uint32_t textures = std::min<uint32_t>(info.textured_groups, ModelData::kMaxTextures);
    for (uint32_t t = 0; t < textures; ++t) {
      const std::string texture = letters_ ? texture_name_ : Numbered("t", next_texture_);
      LogFormatted(LOG_DETAIL, " Loading texture [%s]\n", texture.c_str());
      ff7::AddTexturedMaterial(model_, texture);
      if (letters_)
        ++texture_name_.back();
      else
        ++next_texture_;
    }
    char name[ModelData::kNameLength + 1];
    std::snprintf(name, sizeof name, "%03lu %s b%lu", Ul(model_.CurrentObject()),
                  model_.reading.FileNameOfPath(path.c_str()), Ul(bone));
    ff7::CloseBoneObject(model_, name, static_cast<int32_t>(bone));
  }

  // ---- Animation -------------------------------------------------------
  std::string AnimationPath() const {
    if (!letters_) return Numbered("a", 0);
    return part_name_.substr(0, part_name_.size() - 2) + "DA";
  }

  void LoadAnimation(uint32_t bones) {
    const std::string path = AnimationPath();
    FILE* file = ff7::OpenCompanion(model_, path, "rb");
    if (!file) {
      LogFormatted(LOG_ERROR, "Could not find animation file [%s]\n", path.c_str());
      return;
    }
    std::vector<uint8_t> bytes;
    const bool read = ReadRestOfFile(file, bytes, "LoadFf7Battle");
    std::fclose(file);
    if (!read) return;
    // At least 4.5 bytes per bone and 31 more.
    if (2 * uint64_t{bytes.size()} < 9 * uint64_t{bones} + 62) {
      LogMessage(" animation data too small", LOG_ERROR);
      return;
    }
    ByteReader reader(bytes);
    const uint32_t frames = reader.U32Le();
    // Every frame has at least its header.
    if (!reader.Fits(frames, kFrameHeaderSize)) {
      LogFormatted(LOG_ERROR, "LoadFf7Battle: %lu frames announced, the file cannot hold them\n", Ul(frames));
      return;
    }
    if (!model_.SetAnimFramesCount(frames) || model_.anim_frames_count < frames) return;
    for (uint32_t f = 0; f < frames; ++f)
      if (!ReadFrame(reader, f, bones)) break;
    LogMessage(" Animation loaded\n", LOG_DETAIL);
  }

  bool ReadFrame(ByteReader& reader, uint32_t frame, uint32_t bones) {
    ByteReader header = reader.Chunk(kFrameHeaderSize);
    header.Seek(8);
    const uint32_t size = header.U32Le();
    if (!header.Ok() || size < kFrameSizeBias || !reader.Fits(size - kFrameSizeBias)) {
      LogFormatted(LOG_ERROR, "LoadFf7Battle: frame %lu is cut or damaged, the animation ends there\n", Ul(frame));
      return false;
    }
    ByteReader body = reader.Chunk(size - kFrameSizeBias);
    const uint64_t nibbles = 2 * uint64_t{body.Size()};
    if (9 + 9 * uint64_t{bones} > nibbles) {
      LogFormatted(LOG_ERROR, "LoadFf7Battle: frame %lu holds too few angles, the animation ends there\n",
                   Ul(frame));
      return false;
    }
    const uint8_t* data = body.Take(body.Size());
    for (uint32_t j = 0; j < bones; ++j) {
      double value[3];
      for (int k = 0; k < 3; ++k) {
        const uint64_t n = 9 + 9 * uint64_t{j} + 3 * k;
        value[k] = ((Nibble(data, n) << 8) | (Nibble(data, n + 1) << 4) | Nibble(data, n + 2)) * kAngleUnit;
      }
      model_.SetBoneRot(frame, j, value[2], -value[1], value[0]);
    }
    return true;
  }

  ModelData& model_;
  const std::string folder_;
  const std::string base_;
  bool letters_ = true;
  std::string part_name_;
  std::string texture_name_;
  uint32_t next_number_ = 0;
  uint32_t next_texture_ = 0;
  bool parts_exhausted_ = false;
  uint64_t parts_wanted_ = 0;
  uint64_t parts_loaded_ = 0;
};

}  // namespace

int LoadFf7Battle(ModelData& model, FILE* file) { return BattleLoader(model).Run(file); }

}  // namespace zepcon
