#include "core/format_table.h"

namespace zepcon {
namespace {

// extension, name, kind, needs_header, binary, can_load, can_save
constexpr FileTypeInfo kRows[kFileTypeCount] = {
    {"3DS", "3D Studio", 1, 1, 1, 1, 1},
    {"ASC", "3D Studio ascii", 1, 0, 0, 1, 1},
    {"ASE", "3ds max ascii", 1, 1, 0, 1, 1},
    {"B3D", "Blitz 3D", 1, 1, 1, 1, 1},
    {"X", "Direct X ascii", 1, 1, 1, 1, 0},
    {"", "FF7 battle skelet", 1, 1, 1, 1, 0},
    {"HRC", "FF7 field skelet", 1, 1, 0, 1, 0},
    {"P", "FF7 p model", 1, 0, 1, 1, 0},
    {"RSD", "FF7 rsd model", 1, 1, 0, 1, 0},
    {"DAT", "FF8 battle model", 1, 1, 1, 1, 0},
    {"3DF", "Helion", 1, 0, 0, 1, 1},
    {"JAW", "Jawed K", 1, 0, 0, 1, 1},
    {"LWO", "Lightwave", 1, 1, 1, 1, 1},
    {"LWO", "Lightwave 6.5+", 1, 1, 1, 1, 1},
    {"4DS", "Mafia model", 1, 1, 1, 1, 0},
    {"TXT", "Milkshape ascii", 1, 1, 0, 1, 1},
    {"MS3D", "Milkshape binary", 1, 1, 1, 1, 1},
    {"MON", "mon(unknown)", 1, 1, 1, 1, 0},
    {"OFF", "Off text", 1, 1, 0, 1, 1},
    {"ONCC", "Oni character", 1, 0, 1, 1, 0},
    {"M3GM", "Oni model", 1, 0, 1, 1, 0},
    {"FLT", "Open Flight", 1, 1, 1, 1, 0},
    {"MD3", "Quake 3 model", 1, 1, 1, 1, 0},
    {"RAW", "Raw 3d", 1, 0, 0, 1, 1},
    {"M", "Revolt", 1, 1, 1, 1, 0},
    {"3DM", "Rhinoceros", 1, 1, 1, 1, 0},
    {"XSI", "SI asci xsi v2.0+", 1, 1, 1, 1, 1},
    {"COB", "Truespace object bin", 1, 1, 1, 1, 0},
    {"IOB", "Turbo Silver", 1, 1, 1, 1, 0},
    {"MOD", "Viper racing model", 1, 1, 1, 1, 1},
    {"BIN", "Virtua Fighter 1", 1, 0, 1, 1, 0},
    {"OBJ", "WaveFront obj", 1, 0, 0, 1, 1},
    {"MDX", "Warcraft 3 model", 1, 1, 1, 1, 0},
    {"CEL", "Cell Picture", 2, 1, 1, 1, 1},
    {"BMP", "Bitmap", 2, 1, 1, 1, 1},
    {"MMP", "Ether2 picture", 2, 1, 1, 1, 0},
    {"TEX", "FF7 Texture", 2, 1, 1, 1, 1},
    {"MIM", "FF8 map pic", 2, 0, 1, 1, 0},
    {"TIM", "FF8 tim pic", 2, 1, 1, 1, 0},
    {"JPG", "Jpeg picture", 2, 1, 1, 1, 1},
    {"TM", "Megaman legends pic", 2, 1, 1, 1, 0},
    {"TXMB", "Oni big texture", 2, 0, 1, 1, 0},
    {"TXMP", "Oni texture", 2, 0, 1, 1, 1},
    {"PIC", "Pic", 2, 1, 1, 0, 0},
    {"PPM", "Pixel map", 2, 1, 1, 1, 1},
    {"RGB", "RGB picture", 2, 0, 1, 1, 1},
    {"TGA", "TarGA picture", 2, 0, 1, 1, 1},
    {"TEX", "Viper racing texture", 2, 1, 1, 1, 0},
    {"BLP", "War3 picture", 2, 1, 1, 1, 0},
    {"SCR", "Z80 screens", 2, 0, 1, 1, 0},
    {"555", "Mafia texture", 2, 1, 1, 1, 0},
    {"TXT", "Plain text", 3, 0, 0, 1, 1},
    {"PNG", "PNG picture", 2, 1, 1, 1, 1},
    {"", "", 0, 0, 1, 0, 0},  // TYPE_UNKNOWN: no type
    {"GLTF", "glTF 2.0 model", 1, 0, 1, 0, 1},
    {"GLB", "glTF 2.0 binary model", 1, 0, 1, 0, 1},
};

constexpr char kKindNames[5][10] = {"unknown", "3D Model", "BitMap", "Text", "Subs"};

}  // namespace

const FileTypeInfo* FormatTable() { return kRows; }

const char* DataKindName(uint32_t kind) { return kind < 5 ? kKindNames[kind] : kKindNames[0]; }

const FileTypeInfo* FileTypeRow(int type_index) {
  if (type_index < 0 || type_index >= kFileTypeCount || type_index == TYPE_UNKNOWN) return nullptr;
  return &kRows[type_index];
}

}  // namespace zepcon
