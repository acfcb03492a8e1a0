// Shared by the Oni geometry and character loaders: instance files as they
// are extracted one per file, named "NNNNN-name.TYPE" after their resource
// number, and the links between them. Every instance begins with its
// resource id and level id (8 bytes); a link field holds the target's
// resource number above its low 8 bits, 0 for none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zepcon {

class ModelData;

namespace oni {

// Resource numbers are written as five digits in file names.
constexpr uint32_t kInstanceNumberLimit = 100000;
constexpr size_t kInstanceHeaderSize = 8;

inline uint32_t LinkNumber(uint32_t field) { return field >> 8; }

struct Instance {
  std::string path;
  uint32_t number = 0;
  std::vector<uint8_t> bytes;
};

// The path of resource `number` in the model's folder when its file exists
// and its extension is `type` (compared ignoring case); empty otherwise,
// logged only when `log_missing` is set.
std::string FindInstance(ModelData& model, uint32_t number, const char* type, bool log_missing = true);

// Finds resource `number` of `type` and reads it whole; it must hold at
// least `min_size` bytes. 0 (logged) when it is missing, of another type,
// unreadable or short.
int ReadInstance(ModelData& model, uint32_t number, const char* type, size_t min_size, Instance& instance);

// The resource name in a file name "NNNNN-name.TYPE": what lies between the
// first '-' and the last '.' of the last path component (may be empty).
std::string ResourceName(const std::string& path);

// Where an array instance keeps its length and its first element: the
// general arrays (points, vectors, coordinates, indexes) count in 32 bits,
// the body arrays (geometry, translation, hierarchy, texture) in 16 bits.
struct ArrayLayout {
  const char* type;
  size_t count_at;
  bool count_16;
  size_t first_at;
  size_t element_size;
};
extern const ArrayLayout kPoints;       // PNTA: x, y, z floats
extern const ArrayLayout kVectors;      // VCRA: x, y, z floats
extern const ArrayLayout kTexcoords;    // TXCA: u, v floats
extern const ArrayLayout kIndexes;      // IDXA: 32-bit indexes
extern const ArrayLayout kBodyParts;    // TRGA: geometry links
extern const ArrayLayout kTranslations; // TRTA: x, y, z floats
extern const ArrayLayout kHierarchy;    // TRIA: parent, child, sibling, unused bytes
extern const ArrayLayout kBodyTextures; // TRMA: texture links

// Reads resource `number` as an array of `layout`; `count` elements start at
// `first` in `instance.bytes`. 0 (logged) when the instance cannot be read
// or its elements pass its end.
int ReadArray(ModelData& model, uint32_t number, const ArrayLayout& layout, Instance& instance, uint32_t& count,
              size_t& first);

// The geometry instance (M3GM) `geometry` appended as one object named
// `name`, every point moved by `offset`. Its texture is the TXMP resource
// `texture` when not 0, else the geometry's own. Missing normals,
// coordinates or texture are logged and left out; 0 (logged) when the
// points or the triangle strips cannot be had.
int AddGeometry(ModelData& model, const std::vector<uint8_t>& geometry, const char* name, const double offset[3],
                uint32_t texture);

}  // namespace oni
}  // namespace zepcon
