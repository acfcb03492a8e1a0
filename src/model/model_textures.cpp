// Model textures: the texture table and texture memory, loading textures
// from picture files beside the model (through the companion-file
// interface), placeholders for textures that cannot be loaded, and saving
// the textures as picture files.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/format_table.h"
#include "core/log.h"
#include "model/model_data.h"
#include "model/model_internal.h"
#include "picture/bitmap_data.h"

namespace zepcon {

using model_internal::Ul;

namespace {

constexpr uint32_t kPixelsPerRun = ModelData::kScratchSize / 4;

// The name without folder and without extension (from the first dot on).
void BaseName(const char* full, char (&base)[512]) {
  const char* start = full;
  for (const char* c = full; *c; ++c)
    if (*c == '\\' || *c == '/') start = c + 1;
  const size_t length = std::strcspn(start, ".");
  const size_t kept = std::min(length, sizeof base - 1);
  std::memcpy(base, start, kept);
  base[kept] = '\0';
}

const char* LastComponent(const char* path) {
  const char* start = path;
  for (const char* c = path; *c; ++c)
    if (*c == '\\' || *c == '/') start = c + 1;
  return start;
}

bool IsPictureType(int type) {
  return type >= 0 && type < kFileTypeCount && FormatTable()[type].data_kind == KIND_BITMAP;
}

}  // namespace

int ModelData::SetUpTexture(uint32_t width, uint32_t height, const char* name, uint32_t kind) {
  if (textures_count >= kMaxTextures) {
    LogFormatted(LOG_ERROR, "Textures count limit reached (max %lu)\n", Ul(kMaxTextures));
    return 0;
  }
  char given[512];
  if (!name || !name[0])
    std::snprintf(given, sizeof given, "texnoname%lu", Ul(textures_count));
  else
    std::snprintf(given, sizeof given, "%s", name);
  const uint64_t offset = textures_count ? uint64_t{textures_[textures_count - 1].offset} +
                                               textures_[textures_count - 1].size
                                         : 0;
  const uint64_t size = uint64_t{width} * height * 4;
  // The texture memory only grows.
  const uint64_t total = std::max<uint64_t>(offset + size, texture_memory_size);
  if (total > UINT32_MAX || !pool_.Resize(kSegTextureData, static_cast<uint32_t>(std::max<uint64_t>(total, 1)))) {
    LogMessage("SetUpTexture: Could not grow texture memory\n", LOG_ERROR);
  } else {
    texture_memory_size = static_cast<uint32_t>(total);
  }
  if (offset + size > texture_memory_size) {
    LogMessage("Texture would not fit into tex memory\n", LOG_ERROR);
    return 0;
  }
  TextureRecord& record = textures_[textures_count];
  std::memset(&record, 0, sizeof record);
  record.offset = static_cast<uint32_t>(offset);
  record.size = static_cast<uint32_t>(size);
  record.width = width;
  record.height = height;
  record.kind = kind;
  std::memcpy(record.full_name, given, sizeof record.full_name);
  BaseName(record.full_name, record.base_name);
  ++textures_count;
  return 1;
}

int ModelData::SetTextureData(uint32_t index, const void* source, uint32_t offset, uint32_t count) {
  if (index >= textures_count) {
    LogMessage("SetTextureData:Bad texture number\n", LOG_ERROR);
    return 0;
  }
  const TextureRecord& record = textures_[index];
  if (uint64_t{offset} + count > record.size || (!source && count)) {
    LogMessage("SetTextureData:Storing data out of texture size bound\n", LOG_ERROR);
    return 0;
  }
  return pool_.Write(kSegTextureData, record.offset + offset, count, source);
}

int ModelData::GetTextureData(uint32_t index, uint32_t offset, uint32_t count, void* destination) {
  if (index >= textures_count) {
    LogMessage("GetTextureData: tex_no > count\n", LOG_ERROR);
    return 0;
  }
  const TextureRecord& record = textures_[index];
  if (uint64_t{offset} + count > record.size || (!destination && count)) {
    LogMessage("GetTextureData: bad offset+size\n", LOG_ERROR);
    return 0;
  }
  return pool_.Read(kSegTextureData, record.offset + offset, count, destination);
}

int ModelData::GetTextureInfo(uint32_t index) {
  if (index >= textures_count) {
    LogMessage("GetTextureInfo: index > count\n", LOG_ERROR);
    return 0;
  }
  texture = textures_[index];
  return 1;
}

int ModelData::SetTextureInfo(uint32_t index) {
  if (index >= textures_count) {
    LogMessage("SetTextureInfo: index > count\n", LOG_ERROR);
    return 0;
  }
  textures_[index] = texture;
  textures_[index].full_name[sizeof texture.full_name - 1] = '\0';
  textures_[index].base_name[sizeof texture.base_name - 1] = '\0';
  return 1;
}

int32_t ModelData::FindTexture(const char* name) const {
  if (!name) return -1;
  for (uint32_t i = 0; i < textures_count; ++i)
    if (std::strncmp(textures_[i].full_name, name, sizeof textures_[i].full_name) == 0)
      return static_cast<int32_t>(i);
  return -1;
}

int32_t ModelData::StoreTextureFromBitmapFile(const char* name) {
  if (!name || !name[0]) {
    LogMessage("StoreTextureFromBitmapFile: empty name supplied!\n", LOG_ERROR);
    return -1;
  }
  int32_t found = FindTexture(name);
  if (found >= 0) {
    LogMessage("  Texture with same name already loaded\n", LOG_DETAIL);
    return found;
  }
  LogFormatted(LOG_DETAIL, "  Loading texture from file [%s]\n", name);
  if (!companions) {
    LogMessage("StoreTextureFromBitmapFile: no access to companion files\n", LOG_ERROR);
    return -1;
  }
  // The name the texture is kept under, and the path it was found at (which
  // may differ in case: names written on case-blind systems).
  char stored_name[512];
  std::snprintf(stored_name, sizeof stored_name, "%s", name);
  std::string path = companions->FindFile(stored_name);
  if (path.empty()) {
    LogMessage("Could not open texture file", LOG_DETAIL);
    char component[512];
    std::snprintf(component, sizeof component, "%s", LastComponent(name));
    // Cut to 511 characters on purpose.
    if (std::snprintf(stored_name, sizeof stored_name, "%.*s%s",
                      static_cast<int>(strnlen(settings.last_folder, sizeof settings.last_folder)),
                      settings.last_folder, component) < 0)
      stored_name[0] = '\0';
    LogFormatted(LOG_DETAIL, "..trying [%s]..", stored_name);
    found = FindTexture(stored_name);
    if (found >= 0) {
      LogMessage("  Texture with same name already loaded\n", LOG_DETAIL);
      return found;
    }
    path = companions->FindFile(stored_name);
    if (path.empty()) {
      LogMessage("failed opening texture file\n", LOG_ERROR);
      return -1;
    }
    LogMessage("success\n", LOG_DETAIL);
  }

  const int type = companions->DetermineType(path.c_str());
  if (type < 0 || type >= kFileTypeCount) {
    LogMessage("Texture of unknown filetype\n", LOG_ERROR);
    return -1;
  }
  if (!IsPictureType(type)) {
    LogMessage("This aint texture file\n", LOG_ERROR);
    return -1;
  }
  BitmapData picture;
  picture.TakeSettings(settings);  // the alpha options of this conversion
  if (!picture.InitData()) {
    LogMessage("Error initializing data\n", LOG_ERROR);
    return -1;
  }
  if (!companions->LoadPicture(path.c_str(), type, settings, picture)) {
    LogMessage("Error loading texture\n", LOG_ERROR);
    return -1;
  }
  if (!picture.BitmapConvertToMode(MODE_RGBA8888) || picture.Mode() != MODE_RGBA8888) {
    LogMessage("Error converting texture\n", LOG_ERROR);
    return -1;
  }
  if (!SetUpTexture(picture.SizeX(), picture.SizeY(), stored_name, 0)) return -1;
  const int32_t index = static_cast<int32_t>(textures_count - 1);
  const uint32_t pixels = textures_[index].size / 4;
  for (uint32_t first = 0; first < pixels; first += kPixelsPerRun) {
    const uint32_t run = std::min(kPixelsPerRun, pixels - first);
    if (!picture.GetPixels(first, run, scratch) || !SetTextureData(index, scratch, first * 4, run * 4))
      std::memset(scratch, 0, run * 4);  // keeps the texture defined when a run cannot be read
  }
  return index;
}

int32_t ModelData::CreateEmptyTexture(const char* name) {
  LogMessage("  Creating Empty Texture\n", LOG_DETAIL);
  const int32_t found = FindTexture(name ? name : "");
  if (found >= 0) {
    LogMessage("   Texture with same name already loaded\n", LOG_DETAIL);
    return found;
  }
  if (!SetUpTexture(16, 16, name, 1)) {
    LogMessage("   Could not create\n", LOG_ERROR);
    return -1;
  }
  const uint32_t index = textures_count - 1;
  uint8_t pixels[16 * 16 * 4];
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 16; ++c) {
      uint8_t* pixel = pixels + (r * 16 + c) * 4;
      pixel[0] = static_cast<uint8_t>(255 - 15 * c);
      pixel[1] = static_cast<uint8_t>(std::min(255, 255 + 15 * r - 15 * c));
      pixel[2] = static_cast<uint8_t>(15 * r);
      pixel[3] = 128;
    }
  }
  SetTextureData(index, pixels, 0, sizeof pixels);
  return static_cast<int32_t>(index);
}

int32_t ModelData::LoadTexture(const char* name) {
  const int32_t index = StoreTextureFromBitmapFile(name);
  return index >= 0 ? index : CreateEmptyTexture(name);
}

int ModelData::SaveTextureToFile(int32_t index, const char* file_name, int type, uint32_t mode,
                                 int alpha_map) {
  const char* path = file_name ? file_name : "";
  LogFormatted(LOG_DETAIL, "Saving texture [%lu] to file [%s] type [%lu], mode[%lu]\n",
               static_cast<unsigned long>(index), path, static_cast<unsigned long>(type),
               static_cast<unsigned long>(alpha_map));
  if (index < 0 || static_cast<uint32_t>(index) >= textures_count) {
    LogFormatted(LOG_ERROR, "SaveTextureToFile: bad texture number (%lu)\n",
                 static_cast<unsigned long>(index));
    return 0;
  }
  if (!companions) {
    LogMessage("SaveTextureToFile: no access to companion files\n", LOG_ERROR);
    return 0;
  }
  // Only the very file counts as existing; a name differing in case is another file.
  if (companions->FindFile(path) == path) {
    LogFormatted(LOG_ERROR, "SaveTextureToFile: file already exists [%s]..", path);
    if (!settings.overwrite_textures) {
      LogMessage("exiting\n", LOG_DETAIL);
      return 0;
    }
    LogMessage("overwriting\n", LOG_DETAIL);
  }
  if (!IsPictureType(type)) {
    LogFormatted(LOG_ERROR, "SaveTextureToFile: Trying to save texture to non-picture type (%i)\n", type);
    return 0;
  }
  const TextureRecord& record = textures_[index];
  BitmapData picture;
  picture.TakeSettings(settings);
  if (!picture.InitData() || !picture.InitPicture(record.width, record.height, MODE_RGBA8888)) {
    LogMessage("Error initializing data\n", LOG_ERROR);
    return 0;
  }
  const uint32_t pixels = record.size / 4;
  for (uint32_t first = 0; first < pixels; first += kPixelsPerRun) {
    const uint32_t run = std::min(kPixelsPerRun, pixels - first);
    if (!GetTextureData(static_cast<uint32_t>(index), first * 4, run * 4, scratch) ||
        !picture.SetPixels(first, run, scratch))
      return 0;
  }
  if (alpha_map) {
    picture.AlphaToGray();
    picture.InvertColors();
  }
  if (!picture.BitmapConvertToMode(mode)) {
    LogMessage("Error converting texture\n", LOG_ERROR);
    return 0;
  }
  picture.RemoveAlpha();
  // The saver's answer is the result: a texture that could not be written
  // is not reported as saved.
  return companions->SavePicture(path, type, settings, picture);
}

void ModelData::SaveMaterialsTextures(int type, uint32_t mode, int alpha_map) {
  if (!IsPictureType(type)) {
    LogFormatted(LOG_ERROR, "SaveMaterialsTextures: Trying to save textures to non-picture type (%i)\n",
                 type);
    return;
  }
  // Extensions are kept in upper case in the table; files get them in lower case.
  char extension[sizeof FormatTable()[0].extension];
  std::snprintf(extension, sizeof extension, "%s", FormatTable()[type].extension);
  for (char* c = extension; *c; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  for (uint32_t i = 0; i < textures_count; ++i) {
    char path[sizeof settings.file_folder + sizeof textures_[i].base_name + 16];
    std::snprintf(path, sizeof path, "%.*s%s%s.%s", static_cast<int>(strnlen(settings.file_folder, sizeof settings.file_folder)),
                  settings.file_folder, textures_[i].base_name, alpha_map ? "_a" : "", extension);
    SaveTextureToFile(static_cast<int32_t>(i), path, type, mode, alpha_map);
  }
}

}  // namespace zepcon
