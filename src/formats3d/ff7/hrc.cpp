// "FF7 field skelet": a text skeleton (HRC) of named bones, each hung on its
// parent bone by name and carrying a list of parts (RSD files beside it);
// animations are separate binary files (extension "a") in the same folder,
// each holding per frame three rotation angles for every bone.
//
// Missing parts and animations never fail the load: each is logged and
// skipped. Every part becomes one object owned by its bone, so that posing
// the skeleton moves it.
#include <cinttypes>
#include <cstdint>
#include <cstdlib>
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

constexpr uint64_t kAnimHeaderSize = 36;
constexpr uint64_t kAnimHeaderRead = 24;
constexpr uint64_t kTripleSize = 12;

// The next line that holds a word (blank lines between items are allowed);
// false at the end of the file.
bool ReadItemLine(ModelData& model, FILE* file) {
  while (model.reading.ReadLine(file))
    if (model.reading.GetToken(model.reading.line, 0)[0] != '\0') return true;
  return false;
}

std::string Word(ModelData& model, const std::string& line, int index) { return model.reading.GetToken(line.c_str(), index); }

bool ReadHeaderLine(ModelData& model, FILE* file, const char* keyword, const char* failure, std::string* line) {
  if (!ReadItemLine(model, file) || Word(model, model.reading.line, 0) != keyword) {
    LogMessage(failure, LOG_ERROR);
    return false;
  }
  *line = model.reading.line;
  return true;
}

std::string BaseNameOf(ModelData& model, const std::string& path) {
  std::string name = model.reading.FileNameOfPath(path.c_str());
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

class FieldLoader {
 public:
  FieldLoader(ModelData& model, FILE* file, bool rsd_mode)
      : model_(model), file_(file), rsd_mode_(rsd_mode), folder_(ff7::TextOf(model.settings.file_folder)) {}

  int Run() {
    LogMessage(rsd_mode_ ? "Loading rsd through hrc...\n" : "Loading hrc...\n", LOG_MAJOR);
    model_.relative_writes = 1;
    model_.vert_texcoords_present = 1;
    uint64_t bones = 1;
    if (!rsd_mode_ && !ReadHeader(&bones)) return 0;
    for (uint64_t b = 0; b < bones; ++b)
      if (!ReadBone(b, bones)) break;
    model_.PushTexturedVertexs(0.1f);
    if (!rsd_mode_) {
      model_.CalcBoneLengths();
      LogMessage(" loading animations\n", LOG_DETAIL);
      model_.SetAnimBonesCount(model_.bones_count);
      LoadAnimations();
      model_.chained_bone_rotations = 1;
      model_.SkeletOwningType = so_objects;
    }
    LogFormatted(LOG_DETAIL, "%lu of %lu model files loaded\n", Ul(parts_loaded_), Ul(parts_named_));
    if (!rsd_mode_)
      LogFormatted(LOG_DETAIL, "%lu of %lu animation files loaded\n", Ul(anims_loaded_), Ul(anims_found_));
    model_.ConvertProperties(ModelData::need_polygon_materials);
    LogMessage(rsd_mode_ ? "... rsd loaded\n" : "... hrc loaded\n", LOG_MAJOR);
    return 1;
  }

 private:
  static unsigned long Ul(uint64_t value) { return static_cast<unsigned long>(value); }

  bool ReadHeader(uint64_t* bones) {
    std::string line;
    if (!ReadHeaderLine(model_, file_, ":HEADER_BLOCK", " Error, could not read header1", &line)) return false;
    if (!ReadHeaderLine(model_, file_, ":SKELETON", " Error, could not read header2", &line)) return false;
    LogFormatted(LOG_DETAIL, "skeleton name: [%s] .. ", Word(model_, line, 1).c_str());
    if (!ReadHeaderLine(model_, file_, ":BONES", " Error, could not read header3", &line)) return false;
    *bones = std::strtoull(Word(model_, line, 1).c_str(), nullptr, 10);
    LogFormatted(LOG_DETAIL, "%lu bones\n", Ul(*bones));
    return true;
  }

  // One bone with its parts; false when the file ended first.
  bool ReadBone(uint64_t index, uint64_t bones) {
    std::string name, parent, parts_line;
    double length = 0.0;
    int32_t bone = -1;
    if (rsd_mode_) {
      name = ff7::TextOf(model_.settings.file_name);
    } else {
      std::string lines[4];
      for (std::string& line : lines) {
        if (!ReadItemLine(model_, file_)) {
          LogFormatted(LOG_ERROR, " Unexpected end of file ! only %lu of %lu body parts loaded !\n", Ul(index),
                       Ul(bones));
          return false;
        }
        line = model_.reading.line;
      }
      name = Word(model_, lines[0], 0);
      parent = Word(model_, lines[1], 0);
      if (parent == "root") parent.clear();
      length = std::strtod(Word(model_, lines[2], 0).c_str(), nullptr);
      parts_line = lines[3];
      const uint64_t parts = std::strtoull(Word(model_, parts_line, 0).c_str(), nullptr, 10);
      LogFormatted(LOG_DETAIL, " %s, %lu models\n", name.c_str(), Ul(parts));
      bone = model_.AddChildJoint(parent.c_str(), name.c_str(), 0.0, 0.0, length);
    }

    if (rsd_mode_) {
      ++parts_named_;
      last_name_ = name;
      parts_loaded_ += ff7::ReadRsdPart(model_, file_, folder_, &last_name_);
    } else {
      // The names that follow the count (never more than the line holds).
      const uint64_t parts = std::strtoull(Word(model_, parts_line, 0).c_str(), nullptr, 10);
      for (uint64_t p = 1; p <= parts; ++p) {
        const std::string part = Word(model_, parts_line, static_cast<int>(std::min<uint64_t>(p, INT32_MAX)));
        if (part.empty()) {
          LogFormatted(LOG_ERROR, "  %lu part names announced, %lu found\n", Ul(parts), Ul(p - 1));
          break;
        }
        LoadPart(part);
      }
    }
    if (!rsd_mode_) ff7::CloseBoneObject(model_, name.c_str(), bone);
    else model_.NewObject();
    return true;
  }

  void LoadPart(const std::string& part) {
    ++parts_named_;
    last_name_ = part;
    LogFormatted(LOG_DETAIL, "  %s:\n", part.c_str());
    FILE* rsd = ff7::OpenCompanion(model_, folder_ + part + ".rsd", "rb");
    if (!rsd) {
      LogMessage("(could not open)", LOG_ERROR);
      LogMessage("\n", LOG_ERROR);
      return;
    }
    parts_loaded_ += ff7::ReadRsdPart(model_, rsd, folder_, &last_name_);
    std::fclose(rsd);
  }

  // ---- Animations ------------------------------------------------------
  void LoadAnimations() {
    if (model_.settings.ff7_field_anims == 1) {
      std::vector<std::string> names;
      if (model_.reading.FindFirst((folder_ + "*.a").c_str()))
        while (const char* found = model_.reading.FindNext()) names.emplace_back(found);
      for (const std::string& found : names) TryAnimation(folder_ + found);
    } else {
      std::string name = ff7::UpperCase(last_name_);
      while (StepCounter(name)) {
        std::string found;
        FILE* file = ff7::OpenCompanion(model_, folder_ + name + ".a", "rb", &found);
        if (!file) break;
        std::fclose(file);
        TryAnimation(found);
      }
    }
    LogMessage(" No more anims can be found\n", LOG_DETAIL);
  }

  // Steps a four-letter counter: the fourth letter runs A..F, the third and
  // second A..Z, each carrying into the one before; the first only grows.
  // False when the name is no such counter or has run out.
  static bool StepCounter(std::string& name) {
    if (name.size() != 4) return false;
    for (char c : name)
      if (c < 'A' || c > 'Z') return false;
    const char last[4] = {'Z', 'Z', 'Z', 'F'};
    for (int i = 3; i > 0; --i) {
      if (name[i] < last[i]) {
        ++name[i];
        return true;
      }
      name[i] = 'A';
    }
    if (name[0] >= 'Z') return false;
    ++name[0];
    return true;
  }

  void TryAnimation(const std::string& path) {
    ++anims_found_;
    LogFormatted(LOG_DETAIL, "Found animation file [%s]..", path.c_str());
    const bool loaded = LoadAnimation(path);
    anims_loaded_ += loaded;
    LogMessage(loaded ? "..loaded\n" : "..not loaded\n", LOG_DETAIL);
  }

  bool LoadAnimation(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
      LogMessage("could not open", LOG_ERROR);
      return false;
    }
    std::vector<uint8_t> bytes;
    const bool read = ReadRestOfFile(file, bytes, "LoadHrc");
    std::fclose(file);
    if (!read) return false;
    ByteReader reader(bytes);
    if (!reader.Fits(kAnimHeaderRead)) {
      LogFormatted(LOG_ERROR, " anim file has a bad size(%lu) should be at least (%lu)", Ul(bytes.size()),
                   Ul(kAnimHeaderSize));
      return false;
    }
    reader.Seek(4);
    const uint32_t frames = reader.U32Le();
    const uint32_t bones = reader.U32Le();
    if (bones != model_.bones_count) {
      LogFormatted(LOG_ERROR, "anim file bones (%lu) != model bones (%lu)", Ul(bones), Ul(model_.bones_count));
      return false;
    }
    // The bone count is at most the model's (200), so this cannot overflow.
    const uint64_t expected = kTripleSize * (3 + uint64_t{frames} * (bones + 2));
    if (expected != bytes.size()) {
      LogFormatted(LOG_ERROR, " anim file has a bad size(%lu) should be (%lu)", Ul(bytes.size()), Ul(expected));
      return false;
    }
    LogFormatted(LOG_DETAIL, ". %lu bones and %lu frames..", Ul(bones), Ul(frames));
    if (frames == 0) return false;  // nothing to add, and no empty segment
    const uint32_t start = model_.anim_frames_count;
    if (uint64_t{start} + frames > UINT32_MAX || !model_.SetAnimFramesCount(start + frames) ||
        model_.anim_frames_count != start + frames)
      return false;
    reader.Seek(kAnimHeaderSize);
    for (uint32_t f = 0; f < frames; ++f) {
      reader.Skip(2 * kTripleSize);
      for (uint32_t b = 0; b < bones; ++b) {
        const double x = reader.F32Le(), y = reader.F32Le(), z = reader.F32Le();
        model_.SetBoneRot(start + f, b, z, -y, x);
      }
    }
    model_.bone_animation_present = 1;
    std::snprintf(model_.animation_segment.name, sizeof model_.animation_segment.name, "%s",
                  BaseNameOf(model_, path).c_str());
    model_.animation_segment.first_frame = start;
    model_.animation_segment.frames = frames;
    model_.AddAnimationSegment();
    return true;
  }

  ModelData& model_;
  FILE* file_;
  const bool rsd_mode_;
  const std::string folder_;
  std::string last_name_;
  uint64_t parts_named_ = 0, parts_loaded_ = 0, anims_found_ = 0, anims_loaded_ = 0;
};

bool ExtensionIsRsd(const ModelData& model) {
  return ff7::UpperCase(ff7::TextOf(model.settings.file_extension)) == "RSD";
}

}  // namespace

namespace ff7 {

int LoadFieldModel(ModelData& model, FILE* file, bool rsd_mode) { return FieldLoader(model, file, rsd_mode).Run(); }

}  // namespace ff7

int LoadHrc(ModelData& model, FILE* file) { return ff7::LoadFieldModel(model, file, ExtensionIsRsd(model)); }

}  // namespace zepcon
