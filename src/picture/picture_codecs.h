// Loaders and savers of the picture formats. Each is handed the open file
// (binary, at its start) and returns 1 on success, 0 on failure with the
// reason in the log. None of them closes the file.
#pragma once

#include <cstdio>

namespace zepcon {

class BitmapData;

[[nodiscard]] int LoadBmp(BitmapData& picture, FILE* file);
[[nodiscard]] int SaveBmp(BitmapData& picture, FILE* file);
[[nodiscard]] int LoadTga(BitmapData& picture, FILE* file);
[[nodiscard]] int SaveTga(BitmapData& picture, FILE* file);
[[nodiscard]] int LoadPpm(BitmapData& picture, FILE* file);
[[nodiscard]] int SavePpm(BitmapData& picture, FILE* file);
[[nodiscard]] int LoadSgi(BitmapData& picture, FILE* file);
[[nodiscard]] int SaveSgi(BitmapData& picture, FILE* file);
[[nodiscard]] int LoadJpeg(BitmapData& picture, FILE* file);
[[nodiscard]] int SaveJpeg(BitmapData& picture, FILE* file);
[[nodiscard]] int LoadBlp(BitmapData& picture, FILE* file);

}  // namespace zepcon
