#include "core/type_recognition.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <string_view>
#include <strings.h>

#include "core/format_table.h"
#include "core/log.h"

namespace zepcon {
namespace {

// Bounded view of the header: every probe says how many bytes it needs, and
// a probe beyond what was read simply does not match.
class HeaderView {
 public:
  HeaderView(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}

  bool Has(size_t offset, size_t count) const { return offset <= length_ && count <= length_ - offset; }

  bool Text(size_t offset, const char* text, size_t count) const {
    return Has(offset, count) && std::memcmp(bytes_ + offset, text, count) == 0;
  }
  bool Text(size_t offset, const char* text) const { return Text(offset, text, std::strlen(text)); }

  bool Byte(size_t offset, uint8_t* value) const {
    if (!Has(offset, 1)) return false;
    *value = bytes_[offset];
    return true;
  }
  bool U16(size_t offset, uint32_t* value) const {
    if (!Has(offset, 2)) return false;
    *value = bytes_[offset] | (uint32_t{bytes_[offset + 1]} << 8);
    return true;
  }
  bool U32(size_t offset, uint64_t* value) const {
    if (!Has(offset, 4)) return false;
    *value = bytes_[offset] | (uint32_t{bytes_[offset + 1]} << 8) | (uint32_t{bytes_[offset + 2]} << 16) |
             (uint64_t{bytes_[offset + 3]} << 24);
    return true;
  }
  const uint8_t* Data() const { return bytes_; }
  size_t Length() const { return length_; }

 private:
  const uint8_t* bytes_;
  size_t length_;
};

bool IsPlainFieldSkeleton(const HeaderView& h) {
  uint64_t a, b, c, d, e, f;
  return h.U32(0, &a) && h.U32(4, &b) && h.U32(8, &c) && h.U32(60, &d) && h.U32(12, &e) && h.U32(28, &f) &&
         a == 1 && b == 1 && c == 1 && d == 1 && e == f;
}

bool IsSgi(const HeaderView& h) {
  uint8_t b0, b1, b2, b5;
  return h.Byte(0, &b0) && h.Byte(1, &b1) && h.Byte(2, &b2) && h.Byte(5, &b5) && b0 == 0x01 && b1 == 0xDA &&
         b2 <= 1 && b5 >= 1 && b5 <= 3;
}

// "@RSD940102" at the start of one of the first four lines.
bool IsRsd(const HeaderView& h) {
  const size_t limit = h.Length() < kHeaderBytes ? h.Length() : kHeaderBytes;
  size_t line_start = 0;
  for (int line = 0; line < 4 && line_start < limit; ++line) {
    if (h.Text(line_start, "@RSD940102")) return true;
    size_t p = line_start;
    while (p < limit && h.Data()[p] != 13 && h.Data()[p] != 10) ++p;
    while (p < limit && (h.Data()[p] == 13 || h.Data()[p] == 10)) ++p;
    line_start = p;
  }
  return false;
}

bool IsBattleSkeleton(const HeaderView& h, uint64_t size) {
  uint64_t bones;
  return h.U32(12, &bones) && 12 * bones + 52 == size;
}

bool Is3dStudio(const HeaderView& h, uint64_t size) {
  uint32_t id;
  uint64_t length;
  return h.U16(0, &id) && h.U32(2, &length) && (id == 0x4D4D || id == 0xC23D || id == 0x3DAA) && length == size;
}

bool IsFf7Texture(const HeaderView& h, uint64_t size) {
  uint64_t width, height, palette;
  if (!h.U32(60, &width) || !h.U32(64, &height) || !h.U32(88, &palette)) return false;
  const uint64_t area = width * height;  // both below 2^32: no overflow in 64 bits
  return area + 4 * palette + 236 == size || area + 4 * palette + 240 == size || 2 * area + 240 == size;
}

bool IsTim(const HeaderView& h, uint64_t size, FileReadAt read_at, void* context) {
  uint32_t w, hgt;
  if (h.U16(16, &w) && h.U16(18, &hgt) && size > 20 && 2ull * w * hgt + 20 == size) return true;
  uint32_t tag, flags, palette_length;
  if (!h.U16(0, &tag) || !h.U16(10, &flags) || !h.U16(8, &palette_length)) return false;
  if (tag != 16 || flags != 0 || palette_length == 0 || palette_length >= size || !read_at) return false;
  uint8_t pair[4];
  if (!read_at(context, uint64_t{palette_length} + 16, pair, sizeof pair)) return false;
  const uint64_t width = pair[0] | (pair[1] << 8);
  const uint64_t height = pair[2] | (pair[3] << 8);
  return palette_length + 2 * width * height + 20 == size;
}

bool IsRevolt(const HeaderView& h, uint64_t size) {
  uint32_t polygons, vertices;
  return h.U16(0, &polygons) && h.U16(2, &vertices) && 60ull * polygons + 24ull * vertices + 4 == size;
}

bool IsOpenFlight(const HeaderView& h) {
  static const uint8_t kHeaders[4][16] = {
      {0x00, 0x01, 0x01, 0x1C, 0x64, 0x62, 0, 0, 0, 0, 0, 0, 0, 0, 0x06, 0x18},
      {0x00, 0x01, 0x01, 0x34, 0x64, 0x62, 0, 0, 0, 0, 0, 0, 0, 0, 0x06, 0x22},
      {0x00, 0x01, 0x01, 0x28, 0x64, 0x62, 0, 0, 0, 0, 0, 0, 0, 0, 0x06, 0x24},
      {0x00, 0x01, 0x01, 0x44, 0x64, 0x62, 0, 0, 0, 0, 0, 0, 0, 0, 0x06, 0x2C},
  };
  for (const auto& known : kHeaders)
    if (h.Text(0, reinterpret_cast<const char*>(known), 16)) return true;
  return h.Text(0, "\x00\x01\x01\x40", 4) && h.Text(12, "\x00\x00\x00\x0B", 4);
}

bool IsMafiaTexture(const HeaderView& h, uint64_t size) {
  uint32_t width, height;
  return h.Text(0, "TEX\0", 4) && h.U16(10, &width) && h.U16(6, &height) && 2ull * width * height + 22 == size;
}

bool IsBlitz(const HeaderView& h, uint64_t size) {
  uint64_t length;
  return h.Text(0, "BB3D") && h.U32(4, &length) && length + 8 == size;
}

}  // namespace

int TypeFromHeaderBytes(const uint8_t* header, size_t header_length, uint64_t size, FileReadAt read_at,
                        void* context) {
  const HeaderView h(header, header_length);
  uint64_t u32 = 0;
  uint32_t u16 = 0;

  if (h.Text(0, "FORM")) {
    LogMessage(" Found FORM header  ", LOG_DETAIL);
    if (h.Text(8, "LWOB")) return TYPE_LWOB;
    if (h.Text(8, "LWO2")) return TYPE_LWO2;
    if (h.Text(8, "TDDD")) return TYPE_IOB;
    if (h.Text(8, "REFL")) return TYPE_MON;
  }
  if (h.Text(0, "MS3D")) return TYPE_MS3D;
  if (h.Text(0, "OFF")) return TYPE_OFF;
  if (h.U16(0, &u16) && u16 == 0x9119) return TYPE_CEL;
  if (h.Text(0, "BM")) return TYPE_BMP;
  if (IsPlainFieldSkeleton(h)) return TYPE_FF7_P;
  if (h.Text(0, "// MilkShape")) return TYPE_MS3D_ASCII;
  if (h.Text(0, "3D Geometry File Format ")) return TYPE_3DM;
  if (IsSgi(h)) return TYPE_SGI;
  if (h.Text(0, "IDP3\x0F", 5)) return TYPE_MD3;
  if (h.Text(0, ":HEADER_BLOCK")) return TYPE_HRC;
  if (IsRsd(h)) return TYPE_RSD;
  if (h.Text(0, "MMP\0", 4)) return TYPE_MMP;
  if (h.Text(0, "BLP1")) return TYPE_BLP;
  if (h.Text(0, "MDLX")) return TYPE_MDX;
  // Any JPEG: start-of-image followed by another marker, whatever segment comes first.
  if (h.Text(0, "\xFF\xD8\xFF", 3)) return TYPE_JPG;
  // Before the tests that compare sizes, which a PNG file may meet by chance.
  if (h.Text(0, "\x89PNG\r\n\x1A\n", 8)) return TYPE_PNG;
  if (IsBattleSkeleton(h, size)) return TYPE_FF7_BATTLE;
  if (h.Text(0, "P6")) return TYPE_PPM;
  if (h.Text(0, "xof") && h.Text(8, "txt")) return TYPE_X;
  if (Is3dStudio(h, size)) return TYPE_3DS;
  if (IsFf7Texture(h, size)) return TYPE_FF7_TEX;
  if (h.Text(0, "Caligari V00.01B")) return TYPE_COB;
  if (h.Text(0, "0SERFNIM\x01\0\0\0\0\0\0\0!IGM", 20)) return TYPE_VIPER_MOD;
  if (h.Text(0, "0SER XET\x03\0\0\0\0\0\0\0!IGM", 20)) return TYPE_VIPER_TEX;
  if (h.Text(0, "TM\0\0", 4)) return TYPE_TM;
  if (h.Text(0, "xsi ") && h.Text(8, "txt ")) return TYPE_XSI;
  if (IsTim(h, size, read_at, context)) return TYPE_TIM;
  if (h.U32(48, &u32) && u32 == size) return TYPE_FF8_DAT;
  if (IsRevolt(h, size)) return TYPE_REVOLT;
  if (h.Text(0, "\x53\x80\xF6\x34\x40\x60\x00\x00", 8)) return TYPE_PIC;
  if (IsOpenFlight(h)) return TYPE_FLT;
  // The signature and the version only: a time stamp and a material count follow.
  if (h.Text(0, "4DS\0\x1D\0", 6)) return TYPE_MAFIA_4DS;
  if (IsMafiaTexture(h, size)) return TYPE_MAFIA_TEX;
  if (h.Text(0, "*3DSMAX_ASCIIEXPORT")) return TYPE_ASE;
  if (IsBlitz(h, size)) return TYPE_B3D;
  return TYPE_UNKNOWN;
}

namespace {

int ReadFileAt(void* context, uint64_t offset, void* destination, size_t count) {
  FILE* file = static_cast<FILE*>(context);
  if (offset > static_cast<uint64_t>(LONG_MAX) || std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
    return 0;
  return std::fread(destination, 1, count, file) == count;
}

}  // namespace

int TypeFromHeaderOfFile(FILE* file) {
  if (!file || std::fseek(file, 0, SEEK_END) != 0) {
    LogMessage("Error reading header\n", LOG_ERROR);
    return TYPE_UNKNOWN;
  }
  const long end = std::ftell(file);
  if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
    LogMessage("Error reading header\n", LOG_ERROR);
    return TYPE_UNKNOWN;
  }
  const uint64_t size = static_cast<uint64_t>(end);
  const size_t wanted = size < kHeaderBytes ? static_cast<size_t>(size) : kHeaderBytes;
  uint8_t header[kHeaderBytes];
  if (std::fread(header, 1, wanted, file) != wanted) {
    LogMessage("Error reading header\n", LOG_ERROR);
    return TYPE_UNKNOWN;
  }
  return TypeFromHeaderBytes(header, wanted, size, ReadFileAt, file);
}

int TypeFromExtensionOfName(const char* file_name) {
  if (!file_name) return TYPE_UNKNOWN;
  const char* dot = std::strrchr(file_name, '.');
  if (!dot) return TYPE_UNKNOWN;
  char extension[10];
  size_t length = 0;
  for (const char* p = dot + 1; *p; ++p) {
    if (length == sizeof extension - 1) return TYPE_UNKNOWN;  // longer than any row's extension
    extension[length++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  extension[length] = '\0';

  const FileTypeInfo* table = FormatTable();
  int result = TYPE_UNKNOWN;
  // The placeholder row of TYPE_UNKNOWN names no extension of its own.
  for (int i = 0; i < kFileTypeCount; ++i)
    if (FileTypeRow(i) && !table[i].needs_header && std::strcmp(table[i].extension, extension) == 0) result = i;
  if (result != TYPE_UNKNOWN) return result;
  for (int i = 0; i < kFileTypeCount; ++i)
    if (FileTypeRow(i) && std::strcmp(table[i].extension, extension) == 0) result = i;
  return result;
}

namespace {

bool NameEndsInOff(const char* file_name) {
  if (!file_name) return false;
  const size_t length = std::strlen(file_name);
  return length >= 4 && strcasecmp(file_name + length - 4, ".off") == 0;
}

// Whether the first line that is neither blank nor a "#" comment starts
// with an OFF keyword: optional prefixes ST, C, N, 4 and n in this order,
// then OFF, then no further letter. Only the first block of the file is
// looked at.
bool StartsWithOffKeyword(FILE* file) {
  char block[4096];
  if (std::fseek(file, 0, SEEK_SET) != 0) return false;
  const size_t got = std::fread(block, 1, sizeof block, file);
  size_t i = 0;
  for (;;) {
    while (i < got && (block[i] == ' ' || block[i] == '\t' || block[i] == '\r' || block[i] == '\n')) ++i;
    if (i >= got) return false;
    if (block[i] != '#') break;
    while (i < got && block[i] != '\n') ++i;
  }
  const std::string_view rest(block + i, got - i);
  size_t k = 0;
  if (rest.substr(k, 2) == "ST") k += 2;
  for (const char prefix : {'C', 'N', '4', 'n'})
    if (k < rest.size() && rest[k] == prefix) ++k;
  if (rest.substr(k, 3) != "OFF") return false;
  k += 3;
  return k >= rest.size() || !std::isalpha(static_cast<unsigned char>(rest[k]));
}

}  // namespace

int DetermineTypeOfFile(FILE* file, const char* file_name) {
  LogMessage("Determining header...", LOG_DETAIL);
  const int from_header = TypeFromHeaderOfFile(file);
  const int from_extension = TypeFromExtensionOfName(file_name);
  const FileTypeInfo* header_row = FileTypeRow(from_header);
  const FileTypeInfo* extension_row = FileTypeRow(from_extension);
  LogMessage(" Data Type: ", LOG_DETAIL);
  LogMessage(header_row ? header_row->name : "unknown", LOG_DETAIL);
  LogMessage(" Extension Type: ", LOG_DETAIL);
  LogMessage(extension_row ? extension_row->name : "unknown", LOG_DETAIL);
  LogMessage("\n", LOG_DETAIL);
  if (header_row) return from_header;
  if (extension_row && !extension_row->needs_header) return from_extension;
  // OFF files may open with comments or with a prefixed keyword (COFF,
  // NOFF...), which the header test does not see.
  if (NameEndsInOff(file_name) && StartsWithOffKeyword(file)) return TYPE_OFF;
  return TYPE_UNKNOWN;
}

int DetermineTypeOfPath(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    LogFormatted(LOG_ERROR, " Error opening file [%s]\n", path);
    return TYPE_UNKNOWN;
  }
  const int type = DetermineTypeOfFile(file, path);
  std::fclose(file);
  return type;
}

}  // namespace zepcon
