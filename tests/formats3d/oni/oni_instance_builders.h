// Hand-made Oni instance files for the geometry and character tests, laid
// out as the community's extractors write them: one instance a file, named
// "NNNNN-name.TYPE", each beginning with its resource id and level id.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "formats3d/games_helpers.h"

namespace zepcon::test::oni_files {

using Point = std::array<float, 3>;

inline uint32_t Link(uint32_t number) { return number ? number << 8 | 1 : 0; }

inline Bytes Header(uint32_t number) {
  Bytes b;
  b.U32(Link(number)).U32(1);
  return b;
}

// PNTA: bounds and sphere (unused here), the count at 0x3C, points from 0x40.
inline Bytes Points(uint32_t number, const std::vector<Point>& points) {
  Bytes b = Header(number);
  b.Text("", 12);
  for (int i = 0; i < 10; ++i) b.F32(0);
  b.U32(static_cast<uint32_t>(points.size()));
  for (const Point& p : points) b.F32(p[0]).F32(p[1]).F32(p[2]);
  return b;
}

// VCRA, TXCA, IDXA: the count at 0x1C, elements from 0x20.
inline Bytes Vectors(uint32_t number, const std::vector<Point>& vectors) {
  Bytes b = Header(number);
  b.Text("", 20).U32(static_cast<uint32_t>(vectors.size()));
  for (const Point& v : vectors) b.F32(v[0]).F32(v[1]).F32(v[2]);
  return b;
}
inline Bytes Texcoords(uint32_t number, const std::vector<std::array<float, 2>>& uvs) {
  Bytes b = Header(number);
  b.Text("", 20).U32(static_cast<uint32_t>(uvs.size()));
  for (const auto& uv : uvs) b.F32(uv[0]).F32(uv[1]);
  return b;
}
inline Bytes Indexes(uint32_t number, const std::vector<uint32_t>& indexes) {
  Bytes b = Header(number);
  b.Text("", 20).U32(static_cast<uint32_t>(indexes.size()));
  for (uint32_t i : indexes) b.U32(i);
  return b;
}
constexpr uint32_t kStart = 0x80000000u;

struct GeometryLinks {
  uint32_t points = 0, normals = 0, face_normals = 0, texcoords = 0, strips = 0, faces = 0, texture = 0;
};
inline Bytes Geometry(uint32_t number, const GeometryLinks& l) {
  Bytes b = Header(number);
  b.U32(0).U32(Link(l.points)).U32(Link(l.normals)).U32(Link(l.face_normals)).U32(Link(l.texcoords));
  b.U32(Link(l.strips)).U32(Link(l.faces)).U32(Link(l.texture)).U32(0).Text("", 20);
  return b;
}

// TXMP: the 192-byte header, then 32-bit pixels (format 8) of one colour.
inline Bytes Texture(uint32_t number, uint32_t width, uint32_t height, uint8_t red) {
  Bytes b = Header(number);
  b.Text("tex", 128).Text("", 4).U16(width).U16(height).U32(8).Text("", 44);
  for (uint32_t i = 0; i < width * height; ++i) b.Raw({255, red, 0, 0});
  return b;
}

// The body arrays: the 16-bit count at 0x1E, elements from 0x20.
inline Bytes BodyArray(uint32_t number, uint16_t count) {
  Bytes b = Header(number);
  b.Text("", 22).U16(count);
  return b;
}
inline Bytes LinkArray(uint32_t number, const std::vector<uint32_t>& links) {
  Bytes b = BodyArray(number, static_cast<uint16_t>(links.size()));
  for (uint32_t l : links) b.U32(Link(l));
  return b;
}
inline Bytes Translations(uint32_t number, const std::vector<Point>& moves) {
  Bytes b = BodyArray(number, static_cast<uint16_t>(moves.size()));
  for (const Point& m : moves) b.F32(m[0]).F32(m[1]).F32(m[2]);
  return b;
}
// Hierarchy entries: parent, child, sibling.
inline Bytes Hierarchy(uint32_t number, const std::vector<std::array<uint8_t, 3>>& entries) {
  Bytes b = BodyArray(number, static_cast<uint16_t>(entries.size()));
  for (const auto& e : entries) b.Raw({e[0], e[1], e[2], 0xDE});
  return b;
}

// TRCM: part count at 0x0C, geometry list, translations and hierarchy links at 0x5C.
inline Bytes Body(uint32_t number, uint16_t parts, uint32_t geometries, uint32_t translations, uint32_t hierarchy) {
  Bytes b = Header(number);
  b.U32(0).U16(parts).U16(0xDEAD).Text("body.mme", 64).U32(0).U32(0).U32(0);
  b.U32(Link(geometries)).U32(Link(translations)).U32(Link(hierarchy)).Text("", 24);
  return b;
}
inline Bytes BodySet(uint32_t number, const std::vector<uint32_t>& bodies) {
  Bytes b = Header(number);
  for (uint32_t body : bodies) b.U32(Link(body));
  return b;
}
// A character class: physics floats, a shadow texture link, then the body
// set and texture array links among other fields.
inline Bytes Character(uint32_t number, uint32_t body_set, uint32_t textures, uint32_t shadow = 0) {
  Bytes b = Header(number);
  for (int i = 0; i < 8; ++i) b.F32(0.55f);
  b.U32(Link(shadow));
  for (int i = 0; i < 6; ++i) b.F32(1.5f);
  b.U32(Link(body_set)).U32(Link(textures)).U32(Link(number));
  b.Text("", 8);
  return b;
}

}  // namespace zepcon::test::oni_files
