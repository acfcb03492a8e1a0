// Loaders and savers of the picture formats. Each is handed the open file
// (binary, at its start) and returns 1 on success, 0 on failure with the
// reason in the log. None of them closes the file.
#pragma once

#include <cstdio>

namespace zepcon {

class BitmapData;
class FileStream;

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
[[nodiscard]] int LoadPng(BitmapData& picture, FILE* file);
[[nodiscard]] int SavePng(BitmapData& picture, FILE* file);

// Game and home-computer pictures.
int LoadCel(BitmapData& picture, FILE* file);
int SaveCel(BitmapData& picture, FILE* file);
int LoadFf7Tex(BitmapData& picture, FILE* file);
int SaveFf7Tex(BitmapData& picture, FILE* file);
int LoadTim(BitmapData& picture, FILE* file);
int LoadMim(BitmapData& picture, FILE* file);
int LoadTm(BitmapData& picture, FILE* file);
int LoadScr(BitmapData& picture, FILE* file);
int LoadMmp(BitmapData& picture, FILE* file);
int LoadViperTex(BitmapData& picture, FILE* file);
// The pixel layout follows the file's extension (settings.file_extension).
int Load555(BitmapData& picture, FileStream& stream);
// Refuses: the type is recognised but not read.
int LoadPic(BitmapData& picture, FILE* file);
// Oni textures; the big texture finds its tiles through picture.companions.
int LoadTxmp(BitmapData& picture, FILE* file);
int SaveTxmp(BitmapData& picture, FileStream& stream);
int LoadTxmb(BitmapData& picture, FILE* file);

}  // namespace zepcon
