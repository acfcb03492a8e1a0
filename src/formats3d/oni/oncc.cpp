// "Oni character" files: an extracted character class instance (ONCC). Its
// body set (TRBS) lists the bodies of each level of detail (TRCM); a body
// names its part geometries (TRGA → M3GM), the translation of each part
// from its parent (TRTA) and the hierarchy (TRIA). The texture of each part
// comes from the character's texture array (TRMA). Every instance is a file
// of its own in the same folder, found by resource number; the most
// detailed body is loaded, each part as an object placed by its hierarchy
// in the rest pose (rotations come with animations, which are left aside).
//
// The class instance is large and its layout varies little in what matters
// here, but the places of its body set and texture array links are not
// pinned down; they are taken as the links whose resources are files of
// those types. A missing part, texture or array is logged and skipped; the
// load fails only when no part at all can be placed.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/log.h"
#include "formats3d/model_codecs.h"
#include "formats3d/oni/oni_instances.h"
#include "model/model_data.h"

namespace zepcon {

using namespace oni;

namespace {

// Body (TRCM) fields.
constexpr size_t kPartsCountAt = 0x0C;
constexpr size_t kGeometriesLink = 0x5C;
constexpr size_t kTranslationsLink = 0x60;
constexpr size_t kHierarchyLink = 0x64;
constexpr size_t kBodySize = 0x68;
// A link field's low byte.
constexpr uint32_t kLinkTag = 0x01;

const char* const kPartNames[] = {"pelvis",      "left_thigh",     "left_calf",      "left_foot",     "right_thigh",
                                  "right_calf",  "right_foot",     "mid",            "chest",         "neck",
                                  "head",        "left_shoulder",  "left_arm",       "left_wrist",    "left_fist",
                                  "right_shoulder", "right_arm",   "right_wrist",    "right_fist"};
constexpr uint32_t kNamedParts = sizeof kPartNames / sizeof kPartNames[0];

// The resources of `type` that the fields of `bytes` past the header link
// to, in field order, each once; the instance itself is never among them,
// so a chain that comes back to it ends here.
std::vector<uint32_t> LinksOfType(ModelData& model, const std::vector<uint8_t>& bytes, uint32_t self,
                                  const char* type) {
  std::vector<uint32_t> seen, found;
  for (size_t at = kInstanceHeaderSize; at + 4 <= bytes.size(); at += 4) {
    const uint32_t field = LoadLe32(bytes.data() + at);
    const uint32_t number = LinkNumber(field);
    if ((field & 0xFF) != kLinkTag || number == 0 || number >= kInstanceNumberLimit || number == self) continue;
    if (std::find(seen.begin(), seen.end(), number) != seen.end()) continue;
    seen.push_back(number);
    if (!FindInstance(model, number, type, false).empty()) found.push_back(number);
  }
  return found;
}

struct Part {
  uint32_t geometry = 0;
  uint32_t texture = 0;
  double translation[3] = {0, 0, 0};
  double position[3] = {0, 0, 0};
  int32_t parent = -1;
};

// Parents from the hierarchy's child and sibling links, walked from the
// root (part 0); each part is taken once, so links that loop end. Parts
// come out in `order` with every parent before its children; parts the walk
// does not reach are placed by their own translation.
void ReadHierarchy(ModelData& model, uint32_t number, std::vector<Part>& parts, std::vector<uint32_t>& order) {
  const uint32_t count = static_cast<uint32_t>(parts.size());
  std::vector<bool> placed(count, false);
  Instance tree;
  uint32_t links = 0;
  size_t first = 0;
  if (number && ReadArray(model, number, kHierarchy, tree, links, first)) {
    const auto child = [&](uint32_t p) { return p < links ? tree.bytes[first + 4 * p + 1] : 0u; };
    const auto sibling = [&](uint32_t p) { return p < links ? tree.bytes[first + 4 * p + 2] : 0u; };
    placed[0] = true;
    order.push_back(0);
    for (size_t next = 0; next < order.size(); ++next) {
      const uint32_t p = order[next];
      for (uint32_t c = child(p); c != 0 && c < count && !placed[c]; c = sibling(c)) {
        placed[c] = true;
        parts[c].parent = static_cast<int32_t>(p);
        order.push_back(c);
      }
    }
  } else {
    LogMessage("oncc: no hierarchy, every part placed by its own translation\n", LOG_ERROR);
  }
  uint32_t loose = 0;
  for (uint32_t p = 0; p < count; ++p)
    if (!placed[p]) {
      order.push_back(p);
      if (links) ++loose;
    }
  if (loose) LogFormatted(LOG_ERROR, "oncc: %" PRIu32 " parts are outside the hierarchy\n", loose);
}

void ReadTranslations(ModelData& model, uint32_t number, std::vector<Part>& parts) {
  Instance translations;
  uint32_t count = 0;
  size_t first = 0;
  if (!number || !ReadArray(model, number, kTranslations, translations, count, first)) {
    LogMessage("oncc: no translations, every part at the origin\n", LOG_ERROR);
    return;
  }
  if (count < parts.size())
    LogFormatted(LOG_ERROR, "oncc: %" PRIu32 " translations for %zu parts\n", count, parts.size());
  ByteReader reader(translations.bytes);
  reader.Seek(first);
  for (uint32_t p = 0; p < count && p < parts.size(); ++p)
    for (double& t : parts[p].translation) t = reader.F32Le();
}

void ReadTextures(ModelData& model, const Instance& character, std::vector<Part>& parts) {
  const std::vector<uint32_t> arrays = LinksOfType(model, character.bytes, character.number, kBodyTextures.type);
  if (arrays.empty()) {
    LogMessage("oncc: no texture array found, parts keep their own textures\n", LOG_ERROR);
    return;
  }
  Instance textures;
  uint32_t count = 0;
  size_t first = 0;
  if (!ReadArray(model, arrays.front(), kBodyTextures, textures, count, first)) return;
  ByteReader reader(textures.bytes);
  reader.Seek(first);
  for (uint32_t p = 0; p < count && p < parts.size(); ++p) parts[p].texture = LinkNumber(reader.U32Le());
}

// The body of the most detailed level the body set names that can be read.
int ReadBody(ModelData& model, const Instance& character, Instance& body) {
  const std::vector<uint32_t> sets = LinksOfType(model, character.bytes, character.number, "TRBS");
  if (sets.empty()) {
    LogMessage("oncc: no body set found in the folder\n", LOG_ERROR);
    return 0;
  }
  Instance set;
  if (!ReadInstance(model, sets.front(), "TRBS", kInstanceHeaderSize, set)) return 0;
  // Levels run from the least to the most detailed.
  const std::vector<uint32_t> bodies = LinksOfType(model, set.bytes, set.number, "TRCM");
  for (auto level = bodies.rbegin(); level != bodies.rend(); ++level)
    if (ReadInstance(model, *level, "TRCM", kBodySize, body)) return 1;
  LogMessage("oncc: the body set names no readable body\n", LOG_ERROR);
  return 0;
}

}  // namespace

int LoadOncc(ModelData& model, FILE* file) {
  LogMessage("Loading oncc...\n", LOG_MAJOR);
  model.relative_writes = 1;
  model.SetModelOrientation(2, 0, 4);
  Instance character;
  if (!ReadRestOfFile(file, character.bytes, "LoadOncc")) return 0;
  if (character.bytes.size() < kInstanceHeaderSize) {
    LogMessage("LoadOncc: the file is shorter than an instance header\n", LOG_ERROR);
    return 0;
  }
  character.number = LinkNumber(LoadLe32(character.bytes.data()));

  Instance body;
  if (!ReadBody(model, character, body)) return 0;
  const uint8_t* fields = body.bytes.data();
  Instance geometries;
  uint32_t count = 0;
  size_t first = 0;
  if (!ReadArray(model, LinkNumber(LoadLe32(fields + kGeometriesLink)), kBodyParts, geometries, count, first)) {
    LogMessage("oncc: the body has no part list\n", LOG_ERROR);
    return 0;
  }
  const uint32_t declared = LoadLe16(fields + kPartsCountAt);
  if (declared != count)
    LogFormatted(LOG_ERROR, "oncc: the body declares %" PRIu32 " parts, its list holds %" PRIu32 "\n", declared,
                 count);
  if (count == 0) {
    LogMessage("oncc: the body has no parts\n", LOG_ERROR);
    return 0;
  }
  LogFormatted(LOG_DETAIL, " %" PRIu32 " body parts\n", count);

  std::vector<Part> parts(count);
  ByteReader list(geometries.bytes);
  list.Seek(first);
  for (Part& part : parts) part.geometry = LinkNumber(list.U32Le());
  ReadTranslations(model, LinkNumber(LoadLe32(fields + kTranslationsLink)), parts);
  std::vector<uint32_t> order;
  ReadHierarchy(model, LinkNumber(LoadLe32(fields + kHierarchyLink)), parts, order);
  ReadTextures(model, character, parts);

  uint32_t loaded = 0;
  for (const uint32_t p : order) {
    Part& part = parts[p];
    const double* base = part.parent >= 0 ? parts[static_cast<size_t>(part.parent)].position : nullptr;
    for (int k = 0; k < 3; ++k) part.position[k] = part.translation[k] + (base ? base[k] : 0.0);
  }
  for (uint32_t p = 0; p < count; ++p) {
    char name[32];
    if (p < kNamedParts)
      std::snprintf(name, sizeof name, "%s", kPartNames[p]);
    else
      std::snprintf(name, sizeof name, "part%" PRIu32, p);
    Instance geometry;
    if (!ReadInstance(model, parts[p].geometry, "M3GM", 0, geometry) ||
        !AddGeometry(model, geometry.bytes, name, parts[p].position, parts[p].texture)) {
      LogFormatted(LOG_ERROR, "oncc: part %" PRIu32 " [%s] left out\n", p, name);
      continue;
    }
    ++loaded;
  }
  model.FinishObjects();
  if (loaded == 0) {
    LogMessage("oncc: no body part could be loaded\n", LOG_ERROR);
    return 0;
  }
  LogFormatted(LOG_DETAIL, " %" PRIu32 " of %" PRIu32 " parts loaded\n", loaded, count);
  LogMessage("...oncc loaded\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
