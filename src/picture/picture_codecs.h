// Loaders and savers of the picture formats. Each is handed the open file
// (binary, at its start) and returns 1 on success, 0 on failure with the
// reason in the log. None of them closes the file.
#pragma once

#include <cstdio>

namespace zepcon {

class BitmapData;

int LoadBmp(BitmapData& picture, FILE* file);
int SaveBmp(BitmapData& picture, FILE* file);
int LoadTga(BitmapData& picture, FILE* file);
int SaveTga(BitmapData& picture, FILE* file);
int LoadPpm(BitmapData& picture, FILE* file);
int SavePpm(BitmapData& picture, FILE* file);
int LoadSgi(BitmapData& picture, FILE* file);
int SaveSgi(BitmapData& picture, FILE* file);
int LoadJpeg(BitmapData& picture, FILE* file);
int SaveJpeg(BitmapData& picture, FILE* file);
int LoadBlp(BitmapData& picture, FILE* file);

}  // namespace zepcon
