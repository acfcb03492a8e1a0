#include "ui/preview_drawing.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <new>

#include "core/format_table.h"
#include "core/log.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"

namespace zepcon::ui {
namespace {

bool IsSet(double value) { return value != kUnsetValue; }

void SetModelState(const OptionsRecord& options, bool textures_present, float clear_alpha) {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glPolygonMode(GL_FRONT, GL_FILL);
  glPolygonMode(GL_BACK, options.backfaces_wireframe ? GL_LINE : GL_FILL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
  glEnable(GL_NORMALIZE);
  glEnable(GL_POINT_SMOOTH);
  glDisable(GL_LINE_SMOOTH);
  glPointSize(4.0f);
  glLineWidth(2.0f);
  glEnable(GL_COLOR_MATERIAL);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_LIGHTING);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
  const GLfloat global_ambient[4] = {0.4f, 0.4f, 0.4f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global_ambient);
  glEnable(GL_LIGHT0);
  glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 180.0f);
  const GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
  const GLfloat specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const GLfloat diffuse[4] = {0.1f, 0.1f, 0.1f, 1.0f};
  const GLfloat position[4] = {0.0f, 0.0f, -1.0f, 0.0f};
  const GLfloat direction[3] = {0.0f, 0.0f, 1.0f};
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, direction);
  glClearColor(options.background_3d.red / 255.0f, options.background_3d.green / 255.0f,
               options.background_3d.blue / 255.0f, clear_alpha);
  glMaterialf(GL_FRONT, GL_SHININESS, 15.0f);
  const GLfloat material_specular[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  glMaterialfv(GL_FRONT, GL_SPECULAR, material_specular);
  if (textures_present) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
  }
}

void SetShoulderLight() {
  const GLfloat position[4] = {0.4f, 0.6f, 1.0f, 0.0f};  // eye space: up, right, behind the viewer
  const GLfloat diffuse[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
}

void SetModelView(const OptionsRecord& options, const ViewParams& view, bool shoulder_light) {
  const bool fly = options.viewing_mode == kFlyThrough;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (fly)
    gluPerspective(60.0, 1.0, 0.1, 200.0);
  else
    glFrustum(-0.08, 0.08, -0.08, 0.08, 0.1, 50.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (!fly) {
    const GLfloat light[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    if (shoulder_light) SetShoulderLight();
    glTranslated(0.0, 0.0, -1.1);
    glRotated(-90.0, 1.0, 0.0, 0.0);
    glRotated(view.roll, 0.0, 1.0, 0.0);
    glRotated(-view.pitch, 1.0, 0.0, 0.0);
    glRotated(view.yaw, 0.0, 0.0, 1.0);
    glTranslated(-view.position[0] / view.zoom, -view.position[1] / view.zoom, -view.position[2] / view.zoom);
    glScaled(1.0 / view.zoom, 1.0 / view.zoom, 1.0 / view.zoom);
  } else {
    glTranslated(0.0, 0.0, -0.1);
    glRotated(-90.0, 1.0, 0.0, 0.0);
    glRotated(view.roll, 0.0, 1.0, 0.0);
    glRotated(-view.pitch, 1.0, 0.0, 0.0);
    glRotated(view.yaw, 0.0, 0.0, 1.0);
    const double k = 7.0 / view.zoom;
    glTranslated(-view.position[0] * k, -view.position[1] * k, -view.position[2] * k);
    glScaled(k, k, k);
    const GLfloat light[4] = {static_cast<GLfloat>(view.position[0]), static_cast<GLfloat>(view.position[1]),
                              static_cast<GLfloat>(view.position[2]), 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
  }
}

void DrawSkeleton(ModelData& model) {
  glDisable(GL_TEXTURE_2D);
  glPointSize(3.0f);
  glBegin(GL_POINTS);
  glColor4d(0.4, 0.1, 1.0, 0.7);
  for (uint32_t j = 0; j < model.joints_count; ++j) {
    double x = 0, y = 0, z = 0;
    model.GetJointPosition(j, x, y, z);
    glVertex3d(x, y, z);
  }
  glEnd();
  glLineWidth(2.0f);
  glBegin(GL_LINES);
  for (uint32_t b = 0; b < model.bones_count; ++b) {
    int16_t first = -1, second = -1;
    if (!model.GetBoneJoints(b, first, second) || first < 0 || second < 0) continue;
    if (static_cast<uint32_t>(first) >= model.joints_count || static_cast<uint32_t>(second) >= model.joints_count)
      continue;
    double x = 0, y = 0, z = 0;
    model.GetJointPosition(first, x, y, z);
    glColor4d(0.3, 0.3, 1.0, 0.7);
    glVertex3d(x, y, z);
    model.GetJointPosition(second, x, y, z);
    glColor4d(0.6, 0.3, 1.0, 0.7);
    glVertex3d(x, y, z);
  }
  glEnd();
}

// Material colours and textures, read once per picture.
struct MaterialLook {
  Rgba8 colour;
  int32_t texture;
};

std::vector<MaterialLook> MaterialLooks(ModelData& model) {
  std::vector<MaterialLook> looks(model.materials_count);
  const MaterialRecord saved_material = model.material;
  for (uint32_t m = 0; m < model.materials_count; ++m) {
    model.GetMaterial(m);
    looks[m] = {{model.material.diffuse[0], model.material.diffuse[1], model.material.diffuse[2],
                 model.material.transparency},
                model.material.texture};
  }
  model.material = saved_material;
  return looks;
}

void DrawPolygons(ModelData& model, const ModelScene& scene) {
  const std::vector<MaterialLook> looks = MaterialLooks(model);
  const auto look_of = [&looks](int32_t material) -> const MaterialLook* {
    return material >= 0 && static_cast<size_t>(material) < looks.size() ? &looks[material] : nullptr;
  };
  const bool textured = scene.textures_present;
  const std::vector<unsigned> no_textures;
  const std::vector<unsigned>& names = scene.textures ? *scene.textures : no_textures;

  if (textured) glEnable(GL_TEXTURE_2D);
  int32_t bound = -2;
  const auto bind = [&](int32_t texture) {
    if (texture == bound) return;
    bound = texture;
    if (texture >= 0 && static_cast<size_t>(texture) < names.size()) {
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, names[texture]);
    } else {
      glBindTexture(GL_TEXTURE_2D, 0);
      glDisable(GL_TEXTURE_2D);
    }
  };
  if (textured) bind(-1);
  glBegin(GL_TRIANGLES);
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    const MaterialLook* polygon_look =
        model.poly_materials_present ? look_of(model.GetPolygonMaterial(p)) : nullptr;
    Vec3d polygon_normal{0.0, 0.0, 1.0};
    if (model.poly_normals_present) model.GetPolygonNormal(p, polygon_normal);
    if (textured) {
      const int32_t wanted = polygon_look ? polygon_look->texture : -1;
      if (wanted != bound) {
        glEnd();
        bind(wanted);
        glBegin(GL_TRIANGLES);
      }
    }
    uint32_t first = 0, count = 0;
    if (!model.ReadPolygonPointData(p, first, count) || count < 3) continue;
    // Triangles after triangulation; anything larger is drawn as a fan.
    for (uint32_t t = 1; t + 1 < count; ++t) {
      const uint32_t corners[3] = {first, first + t, first + t + 1};
      for (uint32_t point : corners) {
        const uint32_t vertex = model.GetPointVertex(point);
        Rgba8 taken[3];
        int n = 0;
        const auto take = [&](const MaterialLook* look) {
          if (look) taken[n++] = look->colour;
        };
        if (model.point_materials_present) take(look_of(model.GetPointMaterial(point)));
        if (model.vert_materials_present) take(look_of(model.GetVertexMaterial(vertex)));
        take(polygon_look);
        const Rgba8 colour = CombineColours(taken, n);
        glColor4d(colour.r / 255.0, colour.g / 255.0, colour.b / 255.0, colour.a / 255.0);

        Vec3d normal = polygon_normal;
        if (model.vert_normals_present || model.point_normals_present) {
          if (model.vert_normals_present) model.GetVertexNormal(vertex, normal);
          if (model.point_normals_present) model.GetPointNormal(point, normal);
        }
        glNormal3d(normal.x, normal.y, normal.z);

        if (textured) {
          double u = kUnsetValue, v = kUnsetValue;
          if (model.point_texcoords_present) model.GetPointTexcoord(point, u, v);
          if (!(IsSet(u) && IsSet(v)) && model.vert_texcoords_present) model.GetVertexTexcoord(vertex, u, v);
          if (IsSet(u) && IsSet(v)) glTexCoord2d(u, v);
        }
        double x = 0, y = 0, z = 0;
        model.ReadVertex(vertex, x, y, z);
        glVertex3d(x, y, z);
      }
    }
  }
  glEnd();
}

void DrawPoints(ModelData& model) {
  glDisable(GL_TEXTURE_2D);
  glPointSize(3.0f);
  glBegin(GL_POINTS);
  glColor4d(1.0, 1.0, 1.0, 0.8);
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    double x = 0, y = 0, z = 0;
    model.ReadVertex(v, x, y, z);
    glVertex3d(x, y, z);
  }
  glEnd();
}

}  // namespace

bool PrepareModelTextures(ModelData& model, std::vector<TexturePixels>& textures) {
  textures.clear();
  for (uint32_t i = 0; i < model.textures_count; ++i) {
    const TextureRecord& record = model.Texture(i);
    TexturePixels pending;
    pending.side = TextureSide(record.width, record.height);
    BitmapData picture;
    picture.TakeSettings(model.settings);
    std::vector<uint8_t> source;
    try {
      pending.pixels.resize(size_t{pending.side} * pending.side * 4);
      source.resize(size_t{record.width} * record.height * 4);
    } catch (const std::bad_alloc&) {
      LogMessage("Gl3dInit: Not enough memory !\n", LOG_ERROR);
      textures.clear();
      return false;
    }
    // A texture that cannot be read or scaled stays blank rather than
    // stopping the preview.
    if (record.width > 0 && record.height > 0 && picture.InitData() &&
        picture.InitPicture(record.width, record.height, MODE_RGBA8888) &&
        model.GetTextureData(i, 0, static_cast<uint32_t>(source.size()), source.data()) &&
        picture.SetPixels(0, record.width * record.height, source.data())) {
      if (picture.Resize(pending.side, pending.side))
        picture.GetPixels(0, pending.side * pending.side, pending.pixels.data());
    }
    // Without alpha the texture is opaque. (The picture fix stage would
    // zero the alpha instead, and blending would then hide the model.)
    if (!model.settings.alpha_activated)
      for (size_t a = 3; a < pending.pixels.size(); a += 4) pending.pixels[a] = 255;
    textures.push_back(std::move(pending));
  }
  return true;
}

bool PreparePictureTexture(BitmapData& picture, PictureTexture& prepared) {
  if (!picture.BitmapConvertToMode(MODE_RGBA8888)) return false;
  uint32_t w = picture.SizeX();
  uint32_t h = picture.SizeY();
  if (w == 0 || h == 0) return false;
  FitPictureSize(w, h);
  if (w == 0) w = 1;
  if (h == 0) h = 1;
  if (w != picture.SizeX() || h != picture.SizeY()) {
    LogFormatted(LOG_DETAIL, "Picture too big for displaying, resizing from %lux%lu to %lux%lu\n",
                 static_cast<unsigned long>(picture.SizeX()), static_cast<unsigned long>(picture.SizeY()),
                 static_cast<unsigned long>(w), static_cast<unsigned long>(h));
    if (!picture.Resize(w, h)) return false;
  }
  const uint32_t side = TextureSide(w, h);
  TexturePixels pending;
  pending.side = side;
  try {
    pending.pixels.assign(size_t{side} * side * 4, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Row by row into rows of `side` pixels: the same as spreading the packed
  // rows out from the last one up.
  for (uint32_t row = 0; row < h; ++row)
    if (!picture.GetPixels(row * w, w, pending.pixels.data() + size_t{row} * side * 4)) return false;

  prepared.extent_u = static_cast<double>(w) / side;
  prepared.extent_v = static_cast<double>(h) / side;
  if (w > h) {
    prepared.half_x = 1.0;
    prepared.half_y = static_cast<double>(h) / w;
  } else {
    prepared.half_x = static_cast<double>(w) / h;
    prepared.half_y = 1.0;
  }
  prepared.texture = std::move(pending);
  return true;
}

unsigned CreateTexture(const TexturePixels& texture) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(texture.side), static_cast<GLsizei>(texture.side), 0,
               GL_RGBA, GL_UNSIGNED_BYTE, texture.pixels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  // Errors of a texture load leave at most a blank texture; they must not
  // show up as the next operation's error.
  while (glGetError() != GL_NO_ERROR) {
  }
  return name;
}

void DrawModelScene(ModelData& model, const ModelScene& scene) {
  const OptionsRecord& options = *scene.options;
  SetModelState(options, scene.textures_present, scene.clear_alpha);
  model.relative_reads = 0;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  SetModelView(options, scene.view, scene.shoulder_light);

  // The frame is drawn through the model's own frame selection; the model
  // gets its own selection back afterwards.
  const bool animated = scene.animated && model.anim_frames_count > 0;
  const float saved_frame = model.current_frame;
  if (animated) {
    model.current_frame = scene.frame;
    if (model.bone_animation_present) model.CalcJoints(scene.frame);
  }
  if (scene.textures_present) glBindTexture(GL_TEXTURE_2D, 0);
  DrawSkeleton(model);
  DrawPolygons(model, scene);
  if (options.show_points) DrawPoints(model);
  if (animated) model.current_frame = saved_frame;
}

void DrawPictureScene(const OptionsRecord& options, const ViewParams& view, unsigned texture,
                      const PictureTexture& prepared) {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glShadeModel(GL_SMOOTH);
  glPolygonMode(GL_FRONT, GL_FILL);
  glPolygonMode(GL_BACK, GL_LINE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glClearColor(options.background_picture.red / 255.0f, options.background_picture.green / 255.0f,
               options.background_picture.blue / 255.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glScaled(1.0 / view.zoom, 1.0 / view.zoom, 1.0);
  glRotated(view.yaw, 0.0, 0.0, 1.0);
  glTranslated(view.position[0], view.position[1], -0.5);

  const double X = prepared.half_x, Y = prepared.half_y;
  struct Mark {
    double black1[2], black2[2], red[2];
  };
  const Mark marks[4] = {
      {{-1.01 * X, 0.9 * Y}, {-0.9 * X, 1.01 * Y}, {-1.01 * X, 1.01 * Y}},
      {{1.01 * X, 0.9 * Y}, {1.01 * X, 1.01 * Y}, {0.9 * X, 1.01 * Y}},
      {{-1.01 * X, -0.9 * Y}, {-1.01 * X, -1.01 * Y}, {-0.9 * X, -1.01 * Y}},
      {{1.01 * X, -0.9 * Y}, {0.9 * X, -1.01 * Y}, {1.01 * X, -1.01 * Y}},
  };
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_TRIANGLES);
  for (const Mark& mark : marks) {
    glColor4d(0.0, 0.0, 0.0, 1.0);
    glVertex3d(mark.black1[0], mark.black1[1], 1.05);
    glVertex3d(mark.black2[0], mark.black2[1], 1.05);
    glColor4d(1.0, 0.0, 0.0, 1.0);
    glVertex3d(mark.red[0], mark.red[1], 1.05);
  }
  glEnd();

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4d(1.0, 1.0, 1.0, 1.0);
  glBegin(GL_QUADS);
  glTexCoord2d(0.0, prepared.extent_v);
  glVertex3d(-X, -Y, 1.0);
  glTexCoord2d(prepared.extent_u, prepared.extent_v);
  glVertex3d(X, -Y, 1.0);
  glTexCoord2d(prepared.extent_u, 0.0);
  glVertex3d(X, Y, 1.0);
  glTexCoord2d(0.0, 0.0);
  glVertex3d(-X, Y, 1.0);
  glEnd();
}

}  // namespace zepcon::ui
