// The settings every loader and saver reads: the conversion options and the
// folder, base name and extension of the file being loaded or saved. The
// layout is the first 1856 bytes of the options record, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zepcon {

struct Rgb8 {
  uint8_t red, green, blue;
};

struct ConversionSettings {
  char last_folder[256];     // 0x000, the options record's last folder
  char file_folder[512];     // 0x100, ends in a path separator
  char file_name[512];       // 0x300, base name without extension
  char file_extension[512];  // 0x500, as written in the name, no dot
  int32_t log_mode;                  // 0x700
  int32_t reserved_704;              // 0x704
  float normals_time_limit;          // 0x708, seconds, 0: no limit
  uint32_t overwrite_textures;       // 0x70C
  uint32_t alpha_zero_to_pink;       // 0x710, on alpha loss
  uint32_t pink_to_alpha_zero;       // 0x714, on alpha gain
  uint32_t alpha_activated;          // 0x718
  float smoothing_angle;             // 0x71C, degrees, -1: none
  float lwo_luminosity;              // 0x720, 0..100
  float lwo_diffuse;                 // 0x724, 0..100
  uint32_t save_weightmaps;          // 0x728
  int32_t ff7_weapon;                // 0x72C
  int32_t ff7_field_anims;           // 0x730, 0 only correct ones, 1 all that fit
  uint32_t ff7_load_poly_materials;  // 0x734
  uint32_t limit_materials_255;      // 0x738
  uint32_t obj_one_object;           // 0x73C
};

static_assert(sizeof(ConversionSettings) == 1856);
static_assert(offsetof(ConversionSettings, file_folder) == 256);
static_assert(offsetof(ConversionSettings, file_name) == 768);
static_assert(offsetof(ConversionSettings, file_extension) == 1280);
static_assert(offsetof(ConversionSettings, log_mode) == 0x700);
static_assert(offsetof(ConversionSettings, obj_one_object) == 0x73C);

// The whole options record, 1940 bytes, as stored in the options file.
struct OptionsRecord {
  ConversionSettings conversion;   // 0x000..0x73F; 0x100..0x6FF reserved (zero) here
  uint32_t ask_on_overwrite;       // 0x740
  uint32_t details_shown;          // 0x744
  uint32_t preview_shown;          // 0x748
  uint32_t auto_preview;           // 0x74C
  uint32_t find_types_on_enter;    // 0x750
  uint32_t preview_separate;       // 0x754
  int32_t preview_left;            // 0x758
  int32_t preview_top;             // 0x75C
  int32_t preview_width;           // 0x760
  int32_t preview_height;          // 0x764
  int32_t sort_mode;               // 0x768, 0 name, 1 extension, 2 unsorted
  uint32_t backfaces_wireframe;    // 0x76C
  uint32_t show_points;            // 0x770
  int32_t reserved_774;            // 0x774
  float animation_delay;           // 0x778, seconds
  Rgb8 background_3d;              // 0x77C
  uint8_t padding_77f;             // 0x77F
  int32_t viewing_mode;            // 0x780, 0 rotate + zoom, 1 fly-through
  uint32_t show_outer_walls;       // 0x784
  float animation_stepping;        // 0x788
  int32_t reserved_78c;            // 0x78C
  Rgb8 background_picture;         // 0x790
  uint8_t padding_793;             // 0x793
};

static_assert(sizeof(Rgb8) == 3);
static_assert(sizeof(OptionsRecord) == 1940);
static_assert(offsetof(OptionsRecord, ask_on_overwrite) == 0x740);
static_assert(offsetof(OptionsRecord, sort_mode) == 0x768);
static_assert(offsetof(OptionsRecord, background_3d) == 0x77C);
static_assert(offsetof(OptionsRecord, viewing_mode) == 0x780);
static_assert(offsetof(OptionsRecord, background_picture) == 0x790);

// The record with every field at its default.
OptionsRecord DefaultOptions();

}  // namespace zepcon
