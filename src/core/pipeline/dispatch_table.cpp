#include "core/pipeline/dispatch_table.h"

#include "core/file_stream.h"
#include "core/format_table.h"
#include "core/log.h"
#include "core/text_data.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"

namespace zepcon {
namespace {

template <int (*Codec)(ModelData&, FILE*)>
int PlainModel(CodecTarget& target, CodecFile& file) {
  return Codec(*target.model, file.plain);
}

template <int (*Codec)(ModelData&, FileStream&)>
int StreamModel(CodecTarget& target, CodecFile& file) {
  return Codec(*target.model, *file.stream);
}

template <int (*Codec)(BitmapData&, FILE*)>
int PlainPicture(CodecTarget& target, CodecFile& file) {
  return Codec(*target.picture, file.plain);
}

template <int (*Codec)(BitmapData&, FileStream&)>
int StreamPicture(CodecTarget& target, CodecFile& file) {
  return Codec(*target.picture, *file.stream);
}

template <int (*Codec)(TextData&, FileStream&)>
int StreamText(CodecTarget& target, CodecFile& file) {
  return Codec(*target.text, *file.stream);
}

// Codecs that exist only to say the type cannot be read or written.
int SaveFf7BattleStub(CodecTarget&, CodecFile&) {
  LogMessage("Saving ff7 ??da...\n", LOG_MAJOR);
  LogMessage("... not supported yet ... is it needed ??\n", LOG_ERROR);
  return 0;
}

int SaveHrcStub(CodecTarget&, CodecFile&) {
  LogMessage("Saving hrc...\n", LOG_MAJOR);
  LogMessage("... not supported yet ... is it needed ??\n", LOG_ERROR);
  return 0;
}

int SaveMd3Stub(CodecTarget&, CodecFile&) {
  LogMessage("Saving md3 ... not\n", LOG_MAJOR);
  return 0;
}

int SaveTruespaceStub(CodecTarget&, CodecFile&) {
  LogMessage("Saving cob... not supported, nothing written\n", LOG_ERROR);
  return 0;
}

int SaveTurboSilverStub(CodecTarget&, CodecFile&) {
  LogMessage("Not supported by now \n", LOG_ERROR);
  return 0;
}

constexpr CodecEntry Ready(int (*run)(CodecTarget&, CodecFile&), CodecIo io = CodecIo::kPlain) {
  return {CodecState::kReady, io, run};
}
constexpr CodecEntry Refuses(int (*run)(CodecTarget&, CodecFile&)) {
  return {CodecState::kRefuses, CodecIo::kPlain, run};
}
constexpr CodecEntry kNone{CodecState::kMissing, CodecIo::kPlain, nullptr};
constexpr CodecEntry kPending{CodecState::kPending, CodecIo::kPlain, nullptr};

const DispatchRow kDispatch[kFileTypeCount] = {
    /* 0 3D Studio */ {Ready(PlainModel<Load3ds>), Ready(PlainModel<Save3ds>)},
    /* 1 3D Studio ascii */ {Ready(PlainModel<LoadAsc>), Ready(PlainModel<SaveAsc>)},
    /* 2 3ds max ascii */ {Ready(StreamModel<LoadAse>, CodecIo::kStream), Ready(StreamModel<SaveAse>, CodecIo::kStream)},
    /* 3 Blitz 3D */ {Ready(StreamModel<LoadB3d>, CodecIo::kStream), Ready(StreamModel<SaveB3d>, CodecIo::kStream)},
    /* 4 Direct X ascii */ {Ready(PlainModel<LoadX>), kNone},
    /* 5 FF7 battle skelet */ {Ready(PlainModel<LoadFf7Battle>), Refuses(SaveFf7BattleStub)},
    /* 6 FF7 field skelet */ {Ready(PlainModel<LoadHrc>), Refuses(SaveHrcStub)},
    /* 7 FF7 p model */ {Ready(PlainModel<LoadP>), kNone},
    /* 8 FF7 rsd model */ {Ready(PlainModel<LoadRsd>), kNone},
    /* 9 FF8 battle model */ {Ready(PlainModel<LoadFf8Dat>), kNone},
    /* 10 Helion */ {Ready(PlainModel<Load3df>), Ready(PlainModel<Save3df>)},
    /* 11 Jawed K */ {Ready(PlainModel<LoadJaw>), Ready(PlainModel<SaveJaw>)},
    /* 12 Lightwave */ {Ready(PlainModel<LoadLwo>), Ready(PlainModel<SaveLwo>)},
    /* 13 Lightwave 6.5+ */ {Ready(PlainModel<LoadLwo2>), Ready(PlainModel<SaveLwo2>)},
    /* 14 Mafia model */ {Ready(PlainModel<Load4ds>), kNone},
    /* 15 Milkshape ascii */ {Ready(PlainModel<LoadMs3dText>), Ready(PlainModel<SaveMs3dText>)},
    /* 16 Milkshape binary */ {Ready(PlainModel<LoadMs3d>), Ready(PlainModel<SaveMs3d>)},
    /* 17 mon(unknown) */ {Ready(PlainModel<LoadMon>), kNone},
    /* 18 Off text */ {Ready(PlainModel<LoadOff>), Ready(PlainModel<SaveOff>)},
    /* 19 Oni character */ {Ready(PlainModel<LoadOncc>), kNone},
    /* 20 Oni model */ {Ready(PlainModel<LoadM3gm>), kNone},
    /* 21 Open Flight */ {Ready(PlainModel<LoadFlt>), kNone},
    /* 22 Quake 3 model */ {Ready(PlainModel<LoadMd3>), Refuses(SaveMd3Stub)},
    /* 23 Raw 3d */ {Ready(PlainModel<LoadRaw>), Ready(PlainModel<SaveRaw>)},
    /* 24 Revolt */ {Ready(PlainModel<LoadM>), kNone},
    /* 25 Rhinoceros */ {Ready(PlainModel<Load3dm>), kNone},
    /* 26 SI asci xsi v2.0+ */ {Ready(PlainModel<LoadXsi>), Ready(PlainModel<SaveXsi>)},
    /* 27 Truespace object bin */ {Ready(PlainModel<LoadCob>), Refuses(SaveTruespaceStub)},
    /* 28 Turbo Silver */ {Ready(PlainModel<LoadIob>), Refuses(SaveTurboSilverStub)},
    /* 29 Viper racing model */ {Ready(PlainModel<LoadMod>), Ready(PlainModel<SaveMod>)},
    /* 30 Virtua Fighter 1 */ {Ready(PlainModel<LoadBin>), kNone},
    /* 31 WaveFront obj */ {Ready(PlainModel<LoadObj>), Ready(PlainModel<SaveObj>)},
    /* 32 Warcraft 3 model */ {Ready(PlainModel<LoadMdx>), kNone},
    /* 33 Cell Picture */ {Ready(PlainPicture<LoadCel>), Ready(PlainPicture<SaveCel>)},
    /* 34 Bitmap */ {Ready(PlainPicture<LoadBmp>), Ready(PlainPicture<SaveBmp>)},
    /* 35 Ether2 picture */ {Ready(PlainPicture<LoadMmp>), kNone},
    /* 36 FF7 Texture */ {Ready(PlainPicture<LoadFf7Tex>), Ready(PlainPicture<SaveFf7Tex>)},
    /* 37 FF8 map pic */ {Ready(PlainPicture<LoadMim>), kNone},
    /* 38 FF8 tim pic */ {Ready(PlainPicture<LoadTim>), kNone},
    /* 39 Jpeg picture */ {Ready(PlainPicture<LoadJpeg>), Ready(PlainPicture<SaveJpeg>)},
    /* 40 Megaman legends pic */ {Ready(PlainPicture<LoadTm>), kNone},
    /* 41 Oni big texture */ {Ready(PlainPicture<LoadTxmb>), kNone},
    /* 42 Oni texture */ {Ready(PlainPicture<LoadTxmp>), Ready(StreamPicture<SaveTxmp>, CodecIo::kStream)},
    /* 43 Pic */ {Refuses(PlainPicture<LoadPic>), kNone},
    /* 44 Pixel map */ {Ready(PlainPicture<LoadPpm>), Ready(PlainPicture<SavePpm>)},
    /* 45 RGB picture */ {Ready(PlainPicture<LoadSgi>), Ready(PlainPicture<SaveSgi>)},
    /* 46 TarGA picture */ {Ready(PlainPicture<LoadTga>), Ready(PlainPicture<SaveTga>)},
    /* 47 Viper racing texture */ {Ready(PlainPicture<LoadViperTex>), kNone},
    /* 48 War3 picture */ {Ready(PlainPicture<LoadBlp>), kNone},
    /* 49 Z80 screens */ {Ready(PlainPicture<LoadScr>), kNone},
    /* 50 Mafia texture */ {Ready(StreamPicture<Load555>, CodecIo::kStream), kNone},
    /* 51 Plain text */ {Ready(StreamText<LoadText>, CodecIo::kStream), Ready(StreamText<SaveText>, CodecIo::kStream)},
    /* 52 PNG picture */ {Ready(PlainPicture<LoadPng>), Ready(PlainPicture<SavePng>)},
    /* 53 no type */ {kNone, kNone},
    /* 54 glTF 2.0 model */ {kNone, Ready(PlainModel<SaveGltf>)},
    /* 55 glTF 2.0 binary model */ {kNone, Ready(PlainModel<SaveGlb>)},
};

}  // namespace

const DispatchRow* DispatchRowFor(int type_index) {
  if (type_index < 0 || type_index >= kFileTypeCount) return nullptr;
  return &kDispatch[type_index];
}

const char* CodecAvailability(int type_index, bool saving) {
  const DispatchRow* row = DispatchRowFor(type_index);
  if (!row) return "no";
  switch ((saving ? row->save : row->load).state) {
    case CodecState::kReady:
      return "yes";
    case CodecState::kPending:
      return "not yet";
    case CodecState::kMissing:
    case CodecState::kRefuses:
      break;
  }
  return "no";
}

}  // namespace zepcon
