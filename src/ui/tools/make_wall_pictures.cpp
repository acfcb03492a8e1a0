// Draws the two outer-wall pictures of the 3D preview, "cube.tga" (a blue
// grid) and "cube2.tga" (a warm checkerboard), and writes them through the
// picture container's own Targa saver into the given folder.
#include <cstdio>
#include <string>
#include <vector>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace {

constexpr unsigned kSize = 64;
constexpr unsigned kModeRgba = 13;

using Painter = void (*)(unsigned x, unsigned y, unsigned char* rgba);

void Grid(unsigned x, unsigned y, unsigned char* rgba) {
  const bool line = x % 16 == 0 || y % 16 == 0 || x == kSize - 1 || y == kSize - 1;
  const unsigned char shade = static_cast<unsigned char>(90 + (x + y) / 4);
  rgba[0] = line ? 230 : 40;
  rgba[1] = line ? 230 : 60;
  rgba[2] = line ? 255 : shade;
  rgba[3] = 255;
}

void Checker(unsigned x, unsigned y, unsigned char* rgba) {
  const bool dark = ((x / 8) + (y / 8)) % 2 == 0;
  rgba[0] = dark ? 150 : 235;
  rgba[1] = dark ? 90 : 200;
  rgba[2] = dark ? 50 : 150;
  rgba[3] = 255;
}

int Write(const std::string& path, Painter paint) {
  zepcon::BitmapData picture;
  if (!picture.InitData() || !picture.InitPicture(kSize, kSize, kModeRgba)) return 0;
  std::vector<unsigned char> pixels(kSize * kSize * 4);
  for (unsigned y = 0; y < kSize; ++y)
    for (unsigned x = 0; x < kSize; ++x) paint(x, y, &pixels[(y * kSize + x) * 4]);
  if (!picture.SetPixels(0, kSize * kSize, pixels.data())) return 0;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const int saved = zepcon::SaveTga(picture, file);
  return std::fclose(file) == 0 && saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  if (!Write(folder + "cube.tga", Grid) || !Write(folder + "cube2.tga", Checker)) {
    std::fprintf(stderr, "cannot write the wall pictures into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
