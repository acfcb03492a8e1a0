// seeds: models/off models/raw
// The model processing operations on a model that a careless or hostile
// loader built: the bytes are a list of store operations with any indexes
// (dangling points, materials, owners, textures, bones, objects), followed
// by the processing a saver and the preview run. Never a crash, a hang or an
// access outside the model's arrays.
#include <cstdio>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "fuzz_support.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace {

using zepcon::ByteReader;
using zepcon::ModelData;

void BuildModel(ModelData& model, ByteReader& bytes) {
  model.relative_writes = bytes.U8() & 1;
  const uint8_t presence = bytes.U8();
  for (int step = 0; step < 400 && !bytes.AtEnd(); ++step) {
    const uint8_t op = bytes.U8();
    const uint32_t a = bytes.U8(), b = bytes.U16Le();
    switch (op % 12) {
      case 0: model.StoreVertex(a, b, static_cast<int8_t>(op)); break;
      case 1: {
        uint32_t list[6];
        for (uint32_t& v : list) v = bytes.U8();
        model.StorePolygon(a % 7, list);
        break;
      }
      case 2: model.SetPolygonMaterial(a, static_cast<int32_t>(b) - 2); break;
      case 3: model.SetVertexMaterial(a, static_cast<int32_t>(b) - 2); break;
      case 4: model.SetPointMaterial(a, static_cast<int32_t>(b) - 2); break;
      case 5:
        model.ResetMaterial();
        model.material.texture = static_cast<int32_t>(a) - 2;
        model.material.usage_flags = b & 7;
        model.material.diffuse[0] = static_cast<uint8_t>(b);
        model.AddMaterial();
        break;
      case 6: model.SetVertexOwner(a, static_cast<uint16_t>(b)); break;
      case 7: {
        char name[16];
        std::snprintf(name, sizeof name, "j%u", static_cast<unsigned>(b));
        model.AddJoint(a, b, 0, name);
        break;
      }
      case 8: model.AddBone(static_cast<int16_t>(a) - 2, static_cast<int16_t>(b % 300) - 2, a); break;
      case 9: model.NewObject(); break;
      case 10: {
        zepcon::ObjectRecord object{};
        if (model.GetObjectInfo(a % (model.objects_count + 1), &object)) {
          object.owner = static_cast<int32_t>(b % 300) - 2;
          object.first_polygon = b % 40;
          object.polygon_count = a;
          object.point_count = b;
          object.vertex_count = a;
          model.SetObjectInfo(a % (model.objects_count + 1), &object);
        }
        break;
      }
      default:
        model.SetPointTexcoord(a, b, a);
        model.SetVertexNormal(b, {1.0 * a, 0.0, 1.0});
        break;
    }
  }
  model.poly_materials_present = presence & 1;
  model.vert_materials_present = (presence >> 1) & 1;
  model.point_materials_present = (presence >> 2) & 1;
  model.point_texcoords_present = (presence >> 3) & 1;
  model.vert_normals_present = (presence >> 4) & 1;
  model.SkeletOwningType = (presence >> 5) % 3;
  if (presence & 0x80) {
    model.bone_animation_present = 1;
    model.SetAnimFramesCount(3);
    model.SetAnimBonesCount(model.bones_count / 2);
    for (uint32_t b = 0; b < model.animation_bones_count; ++b) model.SetBoneRot(b % 3, b, 10.0 * b, 350, b);
  } else {
    model.vertex_animation_present = 1;
    model.SetAnimVertCount(model.vertexs_count / 2);
    model.SetAnimFramesCount(2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zepcon::fuzz::QuietLog();
  ByteReader bytes(data, size);
  const uint32_t requirements = bytes.U16Le() & 0x3FFF;
  const uint8_t route = bytes.U8();
  ModelData model;
  if (!model.InitData()) return 0;
  BuildModel(model, bytes);
  model.LoadTexture("missing.bmp");  // no companion files: a placeholder
  model.current_frame = (route & 1) ? 1.5f : -2.0f;
  model.CalculateBoundingBox();
  if (route & 2) model.CheckModel();
  model.SetModelOrientation(2, 0, 4);
  model.ConvertModelOrientation(route & 4 ? 4 : 5, 3, 1);
  model.ConvertProperties(requirements);
  if (route & 8) model.Fix_LimitNoOfPolygonMaterialsToX(40);
  if (route & 16) model.PushTexturedVertexs(0.5f);
  if (route & 32) {
    model.SplitObjectPolygonsByMaterials();
    model.DistributeVertexsToObjectsByPolygons();
  }
  model.bone_animation_present = 1;
  model.CalcJoints(0.5f);
  model.CalculateVertexPositions();
  model.current_frame = 0.25f;
  double x, y, z;
  for (uint32_t v = 0; v < model.vertexs_count && v < 50; ++v) model.ReadVertex(v, x, y, z);
  model.SaveMaterialsTextures(zepcon::TYPE_TGA, zepcon::MODE_RGBA8888, 1);
  model.DestroyData();
  return 0;
}
