#include "cli/mime_types.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "core/format_table.h"

namespace zepcon {

using namespace std::literals;

namespace {

MimeSignature At0(std::string_view bytes) { return {{0, bytes}}; }

// "FORM", a length, then the form's kind.
MimeSignature Form(std::string_view kind) { return {{0, "FORM"sv}, {8, kind}}; }

std::vector<MimeRow> BuildRows() {
  std::vector<MimeRow> rows = {
      // The shared type already knows the 0x4D4D chunk; the other two ids are added.
      {TYPE_3DS, "image/x-3ds", true, true, nullptr, {At0("\x3D\xC2"sv), At0("\xAA\x3D"sv)}, false},
      {TYPE_ASC, "model/x-3ds-ascii", false, false, "text/plain", {}},
      {TYPE_ASE, "model/x-3dsmax-ascii", false, false, "text/plain", {At0("*3DSMAX_ASCIIEXPORT"sv)}},
      {TYPE_B3D, "model/x-blitz3d", false, false, nullptr, {At0("BB3D"sv)}, false},
      {TYPE_X, "model/x-directx-ascii", false, false, nullptr, {{{0, "xof"sv}, {8, "txt"sv}}}},
      {TYPE_FF7_BATTLE, "model/x-ff7-battle-skeleton", false, false, nullptr, {}},
      {TYPE_HRC, "model/x-ff7-field-skeleton", false, false, "text/plain", {At0(":HEADER_BLOCK"sv)}},
      {TYPE_FF7_P,
       "model/x-ff7-p-model",
       false,
       false,
       nullptr,
       {{{0, "\1\0\0\0\1\0\0\0\1\0\0\0"sv}, {60, "\1\0\0\0"sv}}},
       false},
      // The mark may open any of the first lines; most files have it first.
      {TYPE_RSD, "model/x-ff7-rsd", false, false, "text/plain", {{{0, "@RSD940102"sv, 256}}}},
      {TYPE_FF8_DAT, "model/x-ff8-battle-model", false, false, nullptr, {}},
      {TYPE_HELION, "model/x-helion", false, false, "text/plain", {}},
      {TYPE_JAWED, "model/x-jawed-k", false, false, "text/plain", {}},
      {TYPE_LWOB, "image/x-lwo", true, true, nullptr, {Form("LWOB"sv)}},
      {TYPE_LWO2, "image/x-lwo", true, true, nullptr, {Form("LWO2"sv)}},
      // The signature and the version; what follows differs from file to file.
      {TYPE_MAFIA_4DS, "model/x-mafia-4ds", false, false, nullptr, {At0("4DS\0\x1D\0"sv)}},
      {TYPE_MS3D_ASCII, "model/x-milkshape-ascii", false, false, "text/plain", {At0("// MilkShape"sv)}},
      {TYPE_MS3D, "model/x-milkshape", false, false, nullptr, {At0("MS3D"sv)}},
      {TYPE_MON, "model/x-mon", false, false, nullptr, {Form("REFL"sv)}},
      {TYPE_OFF, "model/x-off", false, false, "text/plain", {At0("OFF"sv)}},
      {TYPE_ONCC, "model/x-oni-character", false, false, nullptr, {}},
      {TYPE_M3GM, "model/x-oni-model", false, false, nullptr, {}},
      {TYPE_FLT,
       "model/x-openflight",
       false,
       false,
       nullptr,
       {At0("\x00\x01\x01\x1C\x64\x62\0\0\0\0\0\0\0\0\x06\x18"sv), At0("\x00\x01\x01\x34\x64\x62\0\0\0\0\0\0\0\0\x06\x22"sv),
        At0("\x00\x01\x01\x28\x64\x62\0\0\0\0\0\0\0\0\x06\x24"sv), At0("\x00\x01\x01\x44\x64\x62\0\0\0\0\0\0\0\0\x06\x2C"sv),
        {{0, "\x00\x01\x01\x40"sv}, {12, "\x00\x00\x00\x0B"sv}}}},
      {TYPE_MD3, "model/x-md3", false, false, nullptr, {At0("IDP3\x0F"sv)}},
      {TYPE_RAW, "model/x-raw-3d", false, false, "text/plain", {}},
      {TYPE_REVOLT, "model/x-revolt", false, false, nullptr, {}},
      {TYPE_3DM, "model/x-rhinoceros", false, false, nullptr, {At0("3D Geometry File Format "sv)}},
      {TYPE_XSI, "model/x-xsi", false, false, "text/plain", {{{0, "xsi "sv}, {8, "txt "sv}}}},
      {TYPE_COB, "model/x-truespace", false, false, nullptr, {At0("Caligari V00.01B"sv)}},
      {TYPE_IOB, "model/x-turbo-silver", false, false, nullptr, {Form("TDDD"sv)}},
      {TYPE_VIPER_MOD, "model/x-viper-racing", false, false, nullptr, {At0("0SERFNIM\x01\0\0\0\0\0\0\0!IGM"sv)}},
      {TYPE_VF1_BIN, "model/x-virtua-fighter", false, false, nullptr, {}},
      {TYPE_OBJ, "model/obj", true, true, "text/plain", {}},
      {TYPE_MDX, "model/x-warcraft3", false, false, nullptr, {At0("MDLX"sv)}},
      {TYPE_CEL, "image/x-cel", false, false, nullptr, {At0("\x19\x91"sv)}},
      {TYPE_BMP, "image/bmp", true, true, nullptr, {}},
      {TYPE_MMP, "image/x-ether2-mmp", false, false, nullptr, {At0("MMP\0"sv)}},
      {TYPE_FF7_TEX, "image/x-ff7-texture", false, false, nullptr, {}},
      {TYPE_MIM, "image/x-ff8-mim", false, false, nullptr, {}},
      {TYPE_TIM, "image/x-ff8-tim", false, false, nullptr, {}},
      {TYPE_JPG, "image/jpeg", true, true, nullptr, {}},
      {TYPE_TM, "image/x-megaman-tm", false, false, nullptr, {At0("TM\0\0"sv)}},
      {TYPE_TXMB, "image/x-oni-txmb", false, false, nullptr, {}},
      {TYPE_TXMP, "image/x-oni-txmp", false, false, nullptr, {}},
      {TYPE_PIC, "image/x-pic", false, false, nullptr, {At0("\x53\x80\xF6\x34\x40\x60\x00\x00"sv)}},
      {TYPE_PPM, "image/x-portable-pixmap", true, true, nullptr, {}},
      // Both storage kinds (verbatim, run-length) and 1 to 3 dimensions.
      {TYPE_SGI,
       "image/x-rgb",
       true,
       true,
       nullptr,
       {{{0, "\x01\xDA\x00"sv}, {5, "\x01"sv}}, {{0, "\x01\xDA\x00"sv}, {5, "\x02"sv}},
        {{0, "\x01\xDA\x00"sv}, {5, "\x03"sv}}, {{0, "\x01\xDA\x01"sv}, {5, "\x01"sv}},
        {{0, "\x01\xDA\x01"sv}, {5, "\x02"sv}}, {{0, "\x01\xDA\x01"sv}, {5, "\x03"sv}}}},
      {TYPE_TGA, "image/x-tga", true, true, nullptr, {}},
      {TYPE_VIPER_TEX, "image/x-viper-racing-texture", false, false, nullptr, {At0("0SER XET\x03\0\0\0\0\0\0\0!IGM"sv)}},
      {TYPE_BLP, "image/x-blp", false, false, nullptr, {At0("BLP1"sv)}},
      {TYPE_SCR, "image/x-z80-screen", false, false, nullptr, {}},
      {TYPE_MAFIA_TEX, "image/x-mafia-texture", false, false, nullptr, {At0("TEX\0"sv)}, false},
      {TYPE_TEXT, "text/plain", true, true, nullptr, {}},
      {TYPE_PNG, "image/png", true, true, nullptr, {}},
      // The placeholder row of no type: nothing to add to the database.
      {TYPE_UNKNOWN, "application/octet-stream", true, true, nullptr, {}},
      {TYPE_GLTF, "model/gltf+json", true, true, nullptr, {}},
      {TYPE_GLB, "model/gltf-binary", true, true, nullptr, {}},
  };
  return rows;
}

// A magic value as shared-mime-info reads it: C escapes for what is not
// plain printable text, XML entities for markup characters.
std::string MagicValue(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '&') {
      out += "&amp;";
    } else if (byte == '<') {
      out += "&lt;";
    } else if (byte == '>') {
      out += "&gt;";
    } else if (byte == '"') {
      out += "&quot;";
    } else if (byte == '\\' || byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string LowerExtension(const char* extension) {
  std::string out(extension);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Nested matches: each inner match holds only where the outer one does.
void AppendSignature(std::string& xml, const MimeSignature& signature, size_t index, int depth) {
  const MimeMatch& match = signature[index];
  const std::string indent(static_cast<size_t>(6 + 2 * depth), ' ');
  xml += indent + "<match type=\"string\" offset=\"" + std::to_string(match.offset);
  if (match.range) xml += ":" + std::to_string(match.offset + match.range);
  xml += "\" value=\"" + MagicValue(match.bytes) + "\"";
  if (index + 1 == signature.size()) {
    xml += "/>\n";
    return;
  }
  xml += ">\n";
  AppendSignature(xml, signature, index + 1, depth + 1);
  xml += indent + "</match>\n";
}

const std::vector<MimeRow>& Rows();

// Whether another row with this extension has a registered type that globs
// it: plain text keeps "*.txt", and the rows that share it are told by
// their magic alone.
bool RegisteredGlob(const MimeRow& row) {
  for (const MimeRow& other : Rows())
    if (&other != &row && other.registered && other.registered_has_glob &&
        std::string_view(FormatTable()[other.type].extension) == FormatTable()[row.type].extension)
      return true;
  return false;
}

const std::vector<MimeRow>& Rows() {
  static const std::vector<MimeRow> rows = BuildRows();
  return rows;
}

}  // namespace

const std::vector<MimeRow>& MimeRows() { return Rows(); }

std::string MimeInfoXml() {
  // Rows that share a type (the two LightWave generations) become one entry.
  std::vector<const char*> order;
  std::map<std::string, std::vector<const MimeRow*>> rows_of_type;
  for (const MimeRow& row : MimeRows()) {
    auto& rows = rows_of_type[row.mime];
    if (rows.empty()) order.push_back(row.mime);
    rows.push_back(&row);
  }
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- Generated by \"zepcon-cli mime-info\" from the format table; do not edit. -->\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const char* mime : order) {
    const std::vector<const MimeRow*>& rows = rows_of_type[mime];
    const bool registered = rows.front()->registered;
    std::vector<std::string> globs;
    std::vector<const MimeSignature*> signatures;
    for (const MimeRow* row : rows) {
      const FileTypeInfo& info = FormatTable()[row->type];
      const std::string glob = "*." + LowerExtension(info.extension);
      if (info.extension[0] && !row->registered_has_glob && !RegisteredGlob(*row) &&
          std::find(globs.begin(), globs.end(), glob) == globs.end())
        globs.push_back(glob);
      for (const MimeSignature& signature : row->magic) signatures.push_back(&signature);
    }
    // A registered type that lacks nothing is left as the database has it.
    if (registered && globs.empty() && signatures.empty()) continue;
    xml += "  <mime-type type=\"" + std::string(mime) + "\">\n";
    if (!registered) {
      std::string comment;
      for (const MimeRow* row : rows) comment += (comment.empty() ? "" : ", ") + std::string(FormatTable()[row->type].name);
      xml += "    <comment>" + MagicValue(comment) + "</comment>\n";
      if (rows.front()->text_parent)
        xml += "    <sub-class-of type=\"" + std::string(rows.front()->text_parent) + "\"/>\n";
    }
    for (const std::string& glob : globs) xml += "    <glob pattern=\"" + MagicValue(glob) + "\"/>\n";
    if (!signatures.empty()) {
      xml += "    <magic priority=\"60\">\n";
      for (const MimeSignature* signature : signatures) AppendSignature(xml, *signature, 0, 0);
      xml += "    </magic>\n";
    }
    xml += "  </mime-type>\n";
  }
  xml += "</mime-info>\n";
  return xml;
}

std::string DesktopMimeTypes() {
  std::vector<std::string> types;
  for (const MimeRow& row : MimeRows()) {
    if (!FormatTable()[row.type].can_load || row.type == TYPE_TEXT) continue;
    if (std::find(types.begin(), types.end(), row.mime) == types.end()) types.push_back(row.mime);
  }
  std::string out;
  for (const std::string& type : types) out += type + ";";
  return out;
}

}  // namespace zepcon
