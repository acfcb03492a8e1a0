// The table of the known file types. A file type is named everywhere by
// its row number, the type index.
#pragma once

#include <cstdint>

namespace zepcon {

enum DataKind : uint32_t {
  KIND_UNKNOWN = 0,
  KIND_MODEL = 1,
  KIND_BITMAP = 2,
  KIND_TEXT = 3,
  KIND_SUBS = 4,
};

struct FileTypeInfo {
  char extension[10];  // upper case, no dot; may be empty
  char name[40];
  uint32_t data_kind;
  uint32_t needs_header;  // 1: only a header match selects this type
  uint32_t binary;        // 1: opened in binary mode
  uint32_t can_load;
  uint32_t can_save;
};

// Rows are only ever appended: every type index keeps its value, and so does
// TYPE_UNKNOWN. Its row is a placeholder of no kind that nothing loads or
// saves, so that the rows after it keep counting from 54.
constexpr int kFileTypeCount = 56;
constexpr int TYPE_UNKNOWN = 53;

// Type indexes referred to by name in the code.
enum FileType : int {
  TYPE_3DS = 0,
  TYPE_ASC = 1,
  TYPE_ASE = 2,
  TYPE_B3D = 3,
  TYPE_X = 4,
  TYPE_FF7_BATTLE = 5,
  TYPE_HRC = 6,
  TYPE_FF7_P = 7,
  TYPE_RSD = 8,
  TYPE_FF8_DAT = 9,
  TYPE_HELION = 10,
  TYPE_JAWED = 11,
  TYPE_LWOB = 12,
  TYPE_LWO2 = 13,
  TYPE_MAFIA_4DS = 14,
  TYPE_MS3D_ASCII = 15,
  TYPE_MS3D = 16,
  TYPE_MON = 17,
  TYPE_OFF = 18,
  TYPE_ONCC = 19,
  TYPE_M3GM = 20,
  TYPE_FLT = 21,
  TYPE_MD3 = 22,
  TYPE_RAW = 23,
  TYPE_REVOLT = 24,
  TYPE_3DM = 25,
  TYPE_XSI = 26,
  TYPE_COB = 27,
  TYPE_IOB = 28,
  TYPE_VIPER_MOD = 29,
  TYPE_VF1_BIN = 30,
  TYPE_OBJ = 31,
  TYPE_MDX = 32,
  TYPE_CEL = 33,
  TYPE_BMP = 34,
  TYPE_MMP = 35,
  TYPE_FF7_TEX = 36,
  TYPE_MIM = 37,
  TYPE_TIM = 38,
  TYPE_JPG = 39,
  TYPE_TM = 40,
  TYPE_TXMB = 41,
  TYPE_TXMP = 42,
  TYPE_PIC = 43,
  TYPE_PPM = 44,
  TYPE_SGI = 45,
  TYPE_TGA = 46,
  TYPE_VIPER_TEX = 47,
  TYPE_BLP = 48,
  TYPE_SCR = 49,
  TYPE_MAFIA_TEX = 50,
  TYPE_TEXT = 51,
  TYPE_PNG = 52,
  TYPE_GLTF = 54,
  TYPE_GLB = 55,
};

// The constant table, rows in type index order.
const FileTypeInfo* FormatTable();

// The names of the five data kinds: "unknown", "3D Model", "BitMap", "Text", "Subs".
const char* DataKindName(uint32_t kind);

// The row of a type index; nullptr for TYPE_UNKNOWN and outside 0..kFileTypeCount - 1.
const FileTypeInfo* FileTypeRow(int type_index);

}  // namespace zepcon
