#include "core/options_file.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/atomic_file.h"
#include "core/log.h"

namespace zepcon {
namespace {

std::string WithTrailingSeparator(std::string folder) {
  if (folder.empty()) return "./";
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';
  return folder;
}

std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? "./" : path.substr(0, separator + 1);
}

// $XDG_CONFIG_HOME/zepcon/, or ~/.config/zepcon/; a relative XDG_CONFIG_HOME
// is ignored as the convention asks.
std::string UserSettingsFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return WithTrailingSeparator(base) + "zepcon/";
}

// Text fields of a record read from disk may lack their terminator.
void TerminateTextFields(OptionsRecord& options) {
  ConversionSettings& c = options.conversion;
  c.last_folder[sizeof c.last_folder - 1] = '\0';
  c.file_folder[sizeof c.file_folder - 1] = '\0';
  c.file_name[sizeof c.file_name - 1] = '\0';
  c.file_extension[sizeof c.file_extension - 1] = '\0';
}

}  // namespace

bool ReadOptionsRecord(const std::string& path, OptionsRecord& options) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  OptionsRecord read;
  const bool whole = std::fread(&read, 1, sizeof read, file) == sizeof read;
  std::fclose(file);
  if (!whole) return false;
  options = read;
  TerminateTextFields(options);
  return true;
}

bool FolderIsWritable(const std::string& folder) {
  return !folder.empty() && access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string CurrentExecutablePath(const std::string& fallback) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error || path.empty() ? fallback : path.string();
}

const char* InstalledProgramFolder() {
#ifdef ZEPCON_INSTALL_BINDIR
  return ZEPCON_INSTALL_BINDIR;
#else
  return "";
#endif
}

bool IsSystemProgramFolder(const std::string& folder) {
  std::string plain = folder;
  while (plain.size() > 1 && plain.back() == '/') plain.pop_back();
  for (const char* prefix : {"/usr", "/opt"}) {
    const std::string root(prefix);
    if (plain == root || plain.rfind(root + "/", 0) == 0) return true;
  }
  std::string installed = InstalledProgramFolder();
  while (installed.size() > 1 && installed.back() == '/') installed.pop_back();
  return !installed.empty() && plain == installed;
}

std::string SettingsFolder(const std::string& executable_path, const FolderWritableCheck& writable) {
  const std::string own = FolderOf(executable_path);
  // An installed program never writes beside itself, even when it could (as
  // root): its folder is shared by every user and owned by the system.
  if (!IsSystemProgramFolder(own) && writable(own)) return own;
  const std::string user = UserSettingsFolder();
  std::error_code ignored;  // a folder that cannot be made just leaves files unsaved
  std::filesystem::create_directories(user, ignored);
  return user;
}

std::string OptionsFilePath(const std::string& settings_folder) {
  return WithTrailingSeparator(settings_folder) + kOptionsFileName;
}

std::string LogFilePath(const std::string& settings_folder) {
  return WithTrailingSeparator(settings_folder) + kLogFileName;
}

int LoadOptions(OptionsRecord& options, const std::string& path) {
  if (ReadOptionsRecord(path, options)) return 1;
  options = DefaultOptions();
  SaveOptions(options, path);
  return 0;
}

int SaveOptions(OptionsRecord& options, const std::string& path) {
  char* folder = options.conversion.last_folder;
  folder[sizeof options.conversion.last_folder - 1] = '\0';
  const size_t used = std::strlen(folder);
  std::memset(folder + used, 0, sizeof options.conversion.last_folder - used);

  // Replaced in one step, so a failed write never leaves a cut-off options
  // file (which would reset every option).
  return WriteFileAtomically(path, &options, sizeof options) ? 1 : 0;
}

void ApplyOptions(const OptionsRecord& options) {
  SetLogMode(static_cast<uint32_t>(options.conversion.log_mode));
}

void KeepPreviewWindowReachable(OptionsRecord& options, int desktop_width, int desktop_height) {
  if (int64_t{options.preview_left} + 50 > desktop_width) options.preview_left = desktop_width - 50;
  if (int64_t{options.preview_top} + 50 > desktop_height) options.preview_top = desktop_height - 50;
}

namespace {

class Lines {
 public:
  void Add(const char* name, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    char value[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(value, sizeof value, format, args);
    va_end(args);
    text_ += name;
    text_ += " = ";
    text_ += value;
    text_ += '\n';
  }
  void Colour(const char* name, const Rgb8& colour) {
    Add(name, "%u %u %u", unsigned{colour.red}, unsigned{colour.green}, unsigned{colour.blue});
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace

std::string DescribeOptions(const OptionsRecord& options) {
  const ConversionSettings& c = options.conversion;
  Lines lines;
  lines.Add("last_folder", "%.*s", static_cast<int>(strnlen(c.last_folder, sizeof c.last_folder)), c.last_folder);
  lines.Add("log_mode", "%d", c.log_mode);
  lines.Add("normals_time_limit", "%g", c.normals_time_limit);
  lines.Add("overwrite_textures", "%u", c.overwrite_textures);
  lines.Add("alpha_zero_to_pink", "%u", c.alpha_zero_to_pink);
  lines.Add("pink_to_alpha_zero", "%u", c.pink_to_alpha_zero);
  lines.Add("alpha_activated", "%u", c.alpha_activated);
  lines.Add("smoothing_angle", "%g", c.smoothing_angle);
  lines.Add("lwo_luminosity", "%g", c.lwo_luminosity);
  lines.Add("lwo_diffuse", "%g", c.lwo_diffuse);
  lines.Add("save_weightmaps", "%u", c.save_weightmaps);
  lines.Add("ff7_weapon", "%d", c.ff7_weapon);
  lines.Add("ff7_field_anims", "%d", c.ff7_field_anims);
  lines.Add("ff7_load_poly_materials", "%u", c.ff7_load_poly_materials);
  lines.Add("limit_materials_255", "%u", c.limit_materials_255);
  lines.Add("obj_one_object", "%u", c.obj_one_object);
  lines.Add("ask_on_overwrite", "%u", options.ask_on_overwrite);
  lines.Add("details_shown", "%u", options.details_shown);
  lines.Add("preview_shown", "%u", options.preview_shown);
  lines.Add("auto_preview", "%u", options.auto_preview);
  lines.Add("find_types_on_enter", "%u", options.find_types_on_enter);
  lines.Add("preview_separate", "%u", options.preview_separate);
  lines.Add("preview_left", "%d", options.preview_left);
  lines.Add("preview_top", "%d", options.preview_top);
  lines.Add("preview_width", "%d", options.preview_width);
  lines.Add("preview_height", "%d", options.preview_height);
  lines.Add("sort_mode", "%d", options.sort_mode);
  lines.Add("backfaces_wireframe", "%u", options.backfaces_wireframe);
  lines.Add("show_points", "%u", options.show_points);
  lines.Add("animation_delay", "%g", options.animation_delay);
  lines.Colour("background_3d", options.background_3d);
  lines.Add("viewing_mode", "%d", options.viewing_mode);
  lines.Add("show_outer_walls", "%u", options.show_outer_walls);
  lines.Add("animation_stepping", "%g", options.animation_stepping);
  lines.Colour("background_picture", options.background_picture);
  return lines.Take();
}

}  // namespace zepcon
