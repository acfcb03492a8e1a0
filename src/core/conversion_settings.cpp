#include "core/conversion_settings.h"

#include <cstdio>
#include <cstring>

namespace zepcon {

OptionsRecord DefaultOptions() {
  OptionsRecord options;
  std::memset(&options, 0, sizeof options);
  ConversionSettings& c = options.conversion;
  std::snprintf(c.last_folder, sizeof c.last_folder, "%s", ".");
  c.log_mode = 1;
  c.normals_time_limit = 0.0f;
  c.overwrite_textures = 1;
  c.alpha_zero_to_pink = 0;
  c.pink_to_alpha_zero = 1;
  c.alpha_activated = 1;
  c.smoothing_angle = -1.0f;
  c.lwo_luminosity = 75.0f;
  c.lwo_diffuse = 50.0f;
  c.save_weightmaps = 1;
  c.ff7_weapon = -1;
  c.ff7_field_anims = 1;
  c.ff7_load_poly_materials = 0;
  c.limit_materials_255 = 1;
  c.obj_one_object = 0;
  options.ask_on_overwrite = 1;
  options.details_shown = 0;
  options.preview_shown = 1;
  options.auto_preview = 1;
  options.find_types_on_enter = 1;
  options.preview_separate = 0;
  options.preview_left = 5;
  options.preview_top = 5;
  options.preview_width = 200;
  options.preview_height = 200;
  options.sort_mode = 1;
  options.animation_delay = 0.04f;
  options.background_3d = {126, 126, 169};
  options.viewing_mode = 0;
  options.show_outer_walls = 1;
  options.animation_stepping = 0.4f;
  options.background_picture = {55, 225, 235};
  return options;
}

}  // namespace zepcon
