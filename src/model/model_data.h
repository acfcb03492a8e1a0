// The in-memory 3D model through which every model conversion runs: a loader
// stores geometry into it, the fix stage checks it, a saver reads it out.
//
// Geometry: vertices (positions), polygons as runs of consecutive points in a
// shared point list (each point names one vertex), and edges. Properties live
// beside them in parallel arrays: normals, materials, texture coordinates,
// owners, flags. All growable arrays are segments of the model's own
// SegmentPool and grow in large steps up to fixed maxima.
//
// Object-relative indexing: while `relative_writes` is on, element indexes
// handed to store/set operations count from the current object's first
// element of that kind (vertex indexes from its first vertex); while
// `relative_reads` is on, the same holds for read/get operations and for the
// vertex indexes they hand out. InitData turns relative_writes on and
// relative_reads off.
//
// Results: 1 success / 0 failure (or an index) with the reason in the log.
#pragma once

#include <cfloat>
#include <cstdint>
#include <string>

#include "core/companion_files.h"
#include "core/conversion_settings.h"
#include "core/reading_helper.h"
#include "core/segment_pool.h"

namespace zepcon {

// The value of a texture coordinate or normal component that was never set.
inline constexpr double kUnsetValue = -DBL_MAX;
inline constexpr int32_t kNoMaterial = -1;
inline constexpr uint16_t kNoOwner = 0xFFFF;

struct Vec3d {
  double x, y, z;
};

struct TexCoord {
  double u, v;
};

struct PolygonRecord {
  uint32_t first_point;
  uint32_t point_count;
};

struct EdgeRecord {
  uint32_t a, b;
};

// Two scratch words per vertex; their meaning belongs to the operations that
// set them (the second one is a use count during vertex distribution).
struct VertexFlags {
  uint32_t first;
  uint32_t second;
};

struct MaterialRecord {
  uint8_t diffuse[3];  // red, green, blue
  uint8_t ambient[3];
  uint8_t specular[3];
  uint8_t emissive[3];
  uint8_t xsi_value;
  uint8_t shininess;
  uint8_t transparency;  // 255 opaque
  uint8_t reserved;
  int32_t texture;  // index into the textures, -1 none
  char name[40];
  uint32_t usage_flags;  // bit 0 polygons, bit 1 vertices, bit 2 points
  uint32_t export_number;
};
static_assert(sizeof(MaterialRecord) == 68);

struct ObjectRecord {
  uint32_t first_polygon, polygon_count;
  uint32_t first_vertex, vertex_count;
  uint32_t first_point, point_count;
  uint32_t first_edge, edge_count;
  double placement[6];
  int32_t owner;  // parent object or owning bone, -1 none
  char name[40];
  uint32_t further;
  int32_t order;  // hierarchy order, -1 until checked
  int32_t depth;
};
static_assert(sizeof(ObjectRecord) == 136);

struct JointRecord {
  double position[3];
  double second[3];  // orientation angles once the skeleton is posed
  char name[40];
  double third[3];
  int32_t order;  // hierarchy order and depth, set by the skeleton check
  int32_t depth;
};
static_assert(sizeof(JointRecord) == 120);

struct BoneRecord {
  int16_t first_joint;   // parent side
  int16_t second_joint;  // child side
  uint8_t reserved[4];
  double length;
  char name[40];
};
static_assert(sizeof(BoneRecord) == 56);

struct LightRecord {
  uint32_t kind;
  double first[3];
  double second[3];
  uint32_t on;
  double value;
  uint8_t first_colour[3];
  uint8_t second_colour[3];
  uint8_t third_colour[3];
  char name[40];
  int32_t index;
};
static_assert(sizeof(LightRecord) == 128);

struct TextureRecord {
  uint32_t offset;  // first byte of the pixels in the texture memory
  uint32_t size;    // width * height * 4
  uint32_t width;
  uint32_t height;
  char full_name[512];
  char base_name[512];
  uint32_t kind;  // 0 loaded from a file, 1 placeholder
};

// Whole-element property records; a part is meaningful only while the
// presence flag named beside it is set.
struct VertexProperties {
  double x, y, z;
  Vec3d normal;      // vert_normals_present
  int32_t material;  // vert_materials_present
  uint16_t owner;
  TexCoord texcoord;  // vert_texcoords_present
};

struct PointProperties {
  uint32_t vertex;
  Vec3d normal;       // point_normals_present
  int32_t material;   // point_materials_present
  TexCoord texcoord;  // point_texcoords_present
};

struct PolygonProperties {
  int32_t material;  // poly_materials_present
  Vec3d normal;      // poly_normals_present
};

enum SkeletOwning : uint32_t { so_none = 0, so_vertexs = 1, so_objects = 2 };

class ModelData {
 public:
  // Array groups, also the bits of GrowArrays.
  enum Group : uint32_t {
    kGroupVertices = 1,
    kGroupPolygons = 2,
    kGroupPoints = 4,
    kGroupEdges = 8,
    kGroupMaterials = 16,
    kGroupLights = 32,
    kGroupCameras = 64,
    kAllGroups = 127,
  };

  static constexpr uint32_t kMaxObjects = 500;
  static constexpr uint32_t kMaxJoints = 201;
  static constexpr uint32_t kMaxBones = 200;
  static constexpr uint32_t kMaxTextures = 40;
  static constexpr uint32_t kMaxPolygonPoints = 65535;
  static constexpr uint32_t kScratchSize = 65535;
  static constexpr int kNameLength = 39;

  ModelData();
  ~ModelData();
  ModelData(const ModelData&) = delete;
  ModelData& operator=(const ModelData&) = delete;

  // ---- Lifecycle --------------------------------------------------------
  // Empties the model (freeing whatever the pool still holds) and sets up
  // the arrays with their first capacities, object 0 and the root joint.
  int InitData();
  // Frees the arrays; counts keep their values until the next InitData.
  int DestroyData();

  // ---- Vertices ---------------------------------------------------------
  // Index of the new vertex (relative under relative_writes); 0 when the
  // vertex limit was already reached (nothing stored).
  uint32_t StoreVertex(double x, double y, double z);
  // At the current frame when one is selected; 0 (outputs untouched) for a
  // bad index.
  int ReadVertex(uint32_t index, double& x, double& y, double& z);
  int SetVertex(uint32_t index, double x, double y, double z);
  int GetVertexNormal(uint32_t index, Vec3d& normal);
  int SetVertexNormal(uint32_t index, const Vec3d& normal);
  int GetVertexFlags(uint32_t index, VertexFlags& flags);
  int SetVertexFlags(uint32_t index, const VertexFlags& flags);

  // ---- Polygons and points ----------------------------------------------
  // Stores a polygon of `count` points naming the listed vertexes. Fewer
  // than 3 points are filled up with the first vertex. 1 when stored, 0 when
  // dropped (limits, or no vertex at all).
  int StorePolygon(uint32_t count, const uint32_t* vertexes);
  // Reserves a polygon and its points; fill them with StorePolygonPoint.
  int StorePolygonBySize(uint32_t count);
  int StorePolygonPoint(uint32_t polygon, uint32_t k, uint32_t vertex);
  // Copies up to `capacity` vertex indexes. 1 when the whole polygon fit;
  // 0 for a bad index, a count-only query (capacity 0) or a cut list.
  int ReadPolygon(uint32_t polygon, uint32_t* count, uint32_t* vertexes, uint32_t capacity);
  uint32_t ReadPolygonVertex(uint32_t polygon, uint32_t k);
  int ReadPolygonPointData(uint32_t polygon, uint32_t& first, uint32_t& count);
  uint32_t GetPointVertex(uint32_t point);
  int SetPointVertex(uint32_t point, uint32_t vertex);
  int GetPolygonNormal(uint32_t polygon, Vec3d& normal);
  int SetPolygonNormal(uint32_t polygon, const Vec3d& normal);
  int GetPointNormal(uint32_t point, Vec3d& normal);
  int SetPointNormal(uint32_t point, const Vec3d& normal);

  // ---- Edges ------------------------------------------------------------
  int StoreEdge(uint32_t a, uint32_t b);
  int ReadEdge(uint32_t index, uint32_t& a, uint32_t& b);
  // The polygon bounded by the listed edges (indexes relative to the current
  // object), its vertexes found from the vertexes consecutive edges share.
  int StoreEdgePolygon(uint32_t count, const uint32_t* edges);

  // ---- Texture coordinates ----------------------------------------------
  int SetVertexTexcoord(uint32_t vertex, double u, double v);
  int GetVertexTexcoord(uint32_t vertex, double& u, double& v);
  int SetPointTexcoord(uint32_t point, double u, double v);
  int GetPointTexcoord(uint32_t point, double& u, double& v);

  // ---- Whole-element properties -----------------------------------------
  int GetVertexAllProperties(uint32_t index, VertexProperties* record);
  int SetVertexAllProperties(uint32_t index, const VertexProperties* record);
  int GetPointAllProperties(uint32_t index, PointProperties* record);
  int SetPointAllProperties(uint32_t index, const PointProperties* record);
  int GetPolygonAllProperties(uint32_t index, PolygonProperties* record);
  int SetPolygonAllProperties(uint32_t index, const PolygonProperties* record);

  // ---- Materials --------------------------------------------------------
  void ResetMaterial();  // `material` becomes the default material
  // Appends `material`; its index, or -1 at the limit.
  int32_t AddMaterial();
  // Copies material `index` into `material` (the default one when missing).
  int GetMaterial(uint32_t index);
  int SetMaterial(uint32_t index);
  void SetMaterialName(const char* name);
  void GetMaterialName(char* buffer, uint32_t size) const;
  int32_t MaterialOfColor(uint8_t red, uint8_t green, uint8_t blue);
  int32_t MaterialOfColorAlpha(uint8_t red, uint8_t green, uint8_t blue, uint8_t transparency);
  int SetPolygonMaterial(uint32_t polygon, int32_t material);
  int SetVertexMaterial(uint32_t vertex, int32_t material);
  int SetPointMaterial(uint32_t point, int32_t material);
  int32_t GetPolygonMaterial(uint32_t polygon);
  int32_t GetVertexMaterial(uint32_t vertex);
  int32_t GetPointMaterial(uint32_t point);
  const MaterialRecord& DefaultMaterial() const { return default_material_; }

  // ---- Objects ----------------------------------------------------------
  int NewObject();
  int AddObjectByRanges(uint32_t vertex_from, uint32_t vertex_to, uint32_t polygon_from,
                        uint32_t polygon_to, uint32_t edge_from, uint32_t edge_to,
                        uint32_t point_from, uint32_t point_to, const char* name);
  int OpenEmptyObject();
  void SetObjectName(const char* name);
  int GetObjectInfo(uint32_t index, ObjectRecord* record) const;
  int SetObjectInfo(uint32_t index, const ObjectRecord* record);
  static void ResetObjectRecord(ObjectRecord* record);
  void FinishObjects();
  uint32_t CurrentObject() const { return current_object_; }

  // ---- Vertex owners ----------------------------------------------------
  int SetVertexOwner(uint32_t vertex, uint16_t owner);
  uint16_t GetVertexOwner(uint32_t vertex);

  // ---- Joints and bones -------------------------------------------------
  int32_t AddJoint(double x, double y, double z, const char* name);
  int32_t AddChildJoint(const char* parent_name, const char* name, double dx, double dy, double dz);
  // The new bone's index; -1 when the table is full.
  int32_t AddBone(int16_t first_joint, int16_t second_joint, double length);
  void GetJointPosition(uint32_t joint, double& x, double& y, double& z) const;
  int GetJointInfo(uint32_t joint, JointRecord* record) const;
  int SetJointInfo(uint32_t joint, const JointRecord* record);
  int GetBoneInfo(uint32_t bone, BoneRecord* record) const;
  int GetBoneJoints(uint32_t bone, int16_t& first, int16_t& second) const;
  int SetBoneName(uint32_t bone, const char* name);
  const char* GetBoneName(uint32_t bone) const;
  int32_t FindBone(int32_t joint, int side) const;  // side 1: first joint, 0: second
  int32_t GetParentJoint(int32_t joint) const;
  void CalcBoneLengths();
  void LayoutSkeleton();

  // ---- Lights -----------------------------------------------------------
  void ResetLight();  // `light` gets the defaults
  void SetLightName(const char* name);
  int32_t AddLight();
  int GetLightInfo(uint32_t index, LightRecord* record);

  // ---- Checks and triangulation -----------------------------------------
  int CheckModel();
  int CheckPolygons();
  int CheckMaterials();
  int CheckSkelet();
  int CheckObjectOwning();
  // Orders a forest given by parent indexes: depths by passes, then a
  // depth-first pre-order numbering (nodes on a parent cycle first).
  static int SortHierarchy(uint32_t count, int32_t* parent, int32_t* order, int32_t* depth);
  int TriangulatePolygons();

  // ---- Growth and statistics --------------------------------------------
  void GrowArrays(uint32_t groups);
  uint32_t Capacity(Group group) const;
  // The "Used:" statistics lines, as PrintStatistics logs them.
  std::string StatisticsText() const;
  void PrintStatistics() const;

  // Texture record `index` (filled by the texture operations); an empty
  // record for an index beyond the table.
  const TextureRecord& Texture(uint32_t index) const {
    static const TextureRecord kEmpty{};
    return index < kMaxTextures ? textures_[index] : kEmpty;
  }

  // ==== Processing: property conversion, normals and splitting, animation,
  // ==== orientation and material limiting, textures ======================

  // Requirement bits of ConvertProperties; the same bits come back as the
  // requirements met.
  enum Requirement : uint32_t {
    need_polygon_materials = 0x0001,
    need_vertex_materials = 0x0002,
    need_point_materials = 0x0004,
    need_vertex_texcoords = 0x0008,
    need_point_texcoords = 0x0010,
    need_polygon_normals = 0x0020,
    need_vertex_normals = 0x0040,
    need_point_normals = 0x0080,
    need_triangles = 0x0100,
    need_objects_by_materials = 0x0200,
    need_vertexs_by_objects = 0x0400,
    need_no_missing_materials = 0x0800,
    need_polygon_materials_first = 0x1000,
    need_polygon_valid_materials = 0x2000,
  };
  // Derives every required kind of property from those present (or fills a
  // neutral value) and reshapes the model as asked; the mask of requirements met.
  uint32_t ConvertProperties(uint32_t requirements);
  int SwapPolygonsDirections();
  // Gives `material_index` to every polygon without material; how many changed.
  uint32_t SetPolygonsWithoutMaterial(int32_t material_index);

  void CalculateBoundingBox();
  // Polygon normals from the first three corners, vertex normals as the
  // normalised sum of their polygons' normals; stopped by the time limit of
  // the settings. The argument is not used.
  int CalculateNormals(int unused);
  void PushTexturedVertexs(float distance);
  int SplitObjectPolygonsByMaterials();
  int DistributeVertexsToObjectsByPolygons();

  // Animation: counts only grow; frame -1 is the scratch frame after the last.
  int SetAnimFramesCount(uint32_t frames);
  int SetAnimVertCount(uint32_t vertices);
  int SetAnimBonesCount(uint32_t bones);
  int Animation_SetVertexPos(uint32_t frame, uint32_t vertex, double x, double y, double z);
  int Animation_GetVertexPos(float frame, uint32_t vertex, double& x, double& y, double& z);
  int SetBoneRot(uint32_t frame, uint32_t bone, double r1, double r2, double r3);
  int GetBoneRot(float frame, uint32_t bone, double& r1, double& r2, double& r3);
  // Poses the joints for `frame` (breadth-first from joint 0).
  int CalcJoints(float frame);
  // Poses the vertices that bones own into the scratch frame.
  void CalculateVertexPositions();
  int AddAnimationSegment();  // appends `animation_segment`
  int Animation_GetSegmentInfo(int32_t index);

  // Axis orientation: direction codes 0 +x, 1 -x, 2 +y, 3 -y, 4 +z, 5 -z, 7 none.
  int SetModelOrientation(int32_t first, int32_t second, int32_t third);
  int ConvertModelOrientation(int32_t first, int32_t second, int32_t third);
  void Fix_LimitNoOfPolygonMaterialsToX(int32_t limit);
  // Every material index of the chosen kinds (bit 0 polygons, 1 vertices,
  // 2 points) that is not none becomes its material's `export_number`, the
  // field renumbering keeps the new index in.
  void RemapMaterialIndexes(uint32_t mask);

  // Textures: pixels always RGBA8888, all textures in one texture memory.
  int SetUpTexture(uint32_t width, uint32_t height, const char* name, uint32_t kind);
  int SetTextureData(uint32_t index, const void* source, uint32_t offset, uint32_t count);
  int GetTextureData(uint32_t index, uint32_t offset, uint32_t count, void* destination);
  int GetTextureInfo(uint32_t index);  // into `texture`
  int SetTextureInfo(uint32_t index);  // from `texture`
  int32_t FindTexture(const char* name) const;
  int32_t StoreTextureFromBitmapFile(const char* name);
  int32_t CreateEmptyTexture(const char* name);
  // A texture from the file, or else a placeholder under the same name.
  int32_t LoadTexture(const char* name);
  int SaveTextureToFile(int32_t index, const char* file_name, int type, uint32_t mode,
                        int alpha_map);
  void SaveMaterialsTextures(int type, uint32_t mode, int alpha_map);
  // ==== end of processing operations ====================================

  // ---- Public state -----------------------------------------------------
  ConversionSettings settings{};
  // Companion files (textures) are reached through this; set by the
  // pipeline with the settings, nullptr when the model stands alone.
  CompanionFiles* companions = nullptr;
  ReadingHelper reading;
  uint8_t* scratch = nullptr;  // kScratchSize bytes for loaders and savers

  // Counts (change them only through the operations).
  uint32_t vertexs_count = 0;
  uint32_t polygons_count = 0;
  uint32_t points_count = 0;
  uint32_t edges_count = 0;
  uint32_t materials_count = 0;
  uint32_t objects_count = 0;
  uint32_t joints_count = 0;
  uint32_t bones_count = 0;
  uint32_t lights_count = 0;
  uint32_t cameras_count = 0;
  uint32_t textures_count = 0;

  uint32_t relative_reads = 0;
  uint32_t relative_writes = 1;

  // Presence flags: a kind of property is stored and copied only while set.
  uint32_t poly_materials_present = 0;
  uint32_t vert_materials_present = 0;
  uint32_t point_materials_present = 0;
  uint32_t poly_normals_present = 0;
  uint32_t vert_normals_present = 0;
  uint32_t point_normals_present = 0;
  uint32_t vert_texcoords_present = 0;
  uint32_t point_texcoords_present = 0;

  // Textures.
  uint32_t texture_memory_size = 0;
  uint32_t texture_bytes_per_pixel = 4;

  // Animation.
  uint32_t anim_frames_count = 0;
  uint32_t anim_vert_count = 0;
  uint32_t animation_bones_count = 0;
  uint32_t vertex_animation_size = 0;
  uint32_t bone_animation_size = 0;
  uint32_t vertex_animation_present = 0;
  uint32_t bone_animation_present = 0;
  uint32_t chained_bone_rotations = 1;
  uint32_t SkeletOwningType = so_none;
  float current_frame = -2.0f;
  float joints_frame = -2.0f;
  float positions_frame = -2.0f;

  // Axis orientation of the stored data: first, second, third direction
  // (0 +x, 1 -x, 2 +y, 3 -y, 4 +z, 5 -z, 7 not entered).
  int32_t model_orientation[3] = {7, 7, 7};

  // Scratch records of the get/set/add operations.
  MaterialRecord material{};
  LightRecord light{};
  VertexProperties vertex_record{};
  // Segment handles of the pool, in creation order.
  enum Segment : uint16_t {
    kSegVertexPositions = 1,
    kSegPolygonRecords,
    kSegPointVertexes,
    kSegEdges,
    kSegVertexFlags,
    kSegMaterials,
    kSegPolygonMaterials,
    kSegVertexMaterials,
    kSegPointMaterials,
    kSegVertexOwners,
    kSegVertexNormals,
    kSegPolygonNormals,
    kSegPointNormals,
    kSegTextureData,
    kSegVertexTexcoords,
    kSegPointTexcoords,
    kSegAuxiliaryPairs,
    kSegLights,
    kSegCameras,
    kSegVertexAnimation,
    kSegBoneAnimation,
    kSegmentCount = kSegBoneAnimation,
  };

  PointProperties point_record{};
  PolygonProperties polygon_record{};

  // ==== Processing state ================================================
  // Bounding box (valid once calculated).
  Vec3d bounding_min{1.7e308, 1.7e308, 1.7e308};
  Vec3d bounding_max{-1.7e308, -1.7e308, -1.7e308};
  uint32_t bounding_box_valid = 0;

  struct AnimationSegment {
    char name[60];
    uint32_t first_frame;
    uint32_t frames;
  };
  static constexpr uint32_t kMaxAnimationSegments = 300;
  // Largest animation store; a count asking for more is refused as memory too small.
  static constexpr uint32_t kMaxAnimationStoreBytes = 1u << 28;
  AnimationSegment animation_segment{};  // scratch record of the segment operations
  uint32_t animation_segments_count = 0;

  TextureRecord texture{};  // scratch record of GetTextureInfo / SetTextureInfo
  // ==== end of processing state ==========================================

 private:
  struct GroupState {
    uint32_t capacity;
  };

  // Element access through the pool, bounds-checked against the segment.
  int ReadElement(uint16_t segment, uint32_t index, uint32_t size, void* out) const;
  int WriteElement(uint16_t segment, uint32_t index, uint32_t size, const void* in);
  // Grows the group while its condition holds (or while it is smaller than
  // `demand` elements), up to its maximum.
  int GrowGroup(uint32_t group_bit, uint64_t demand = 0);
  GroupState& GroupStateOf(uint32_t group_bit);
  void InitialiseElements(uint16_t segment, uint32_t element_size, uint32_t from, uint32_t to);
  // InitData's two ways to the first sizes (bytes per segment handle).
  int ReuseSegments(const uint32_t* first_sizes);
  int CreateSegments(const uint32_t* first_sizes);
  static void RaiseMark(uint32_t& mark, uint32_t index);

  // Index adjustment for the object-relative switches.
  uint32_t VertexBaseForWrites() const;
  uint32_t VertexBaseForReads() const;
  uint32_t PolygonBaseForWrites() const;
  uint32_t PolygonBaseForReads() const;
  uint32_t PointBaseForWrites() const;
  uint32_t PointBaseForReads() const;
  uint32_t EdgeBaseForReads() const;

  int StoreWholePolygon(const char* caller, uint32_t count, const uint32_t* vertexes,
                        int& points_limit, int& polygons_limit, bool polygons_limit_is_state);
  int ReadAnimatedVertex(uint32_t index, double& x, double& y, double& z);
  int32_t AddMaterialRecord(const MaterialRecord& record);
  void MakeMaterialNameUnique(char* name) const;
  int MaterialNameExists(const char* name) const;
  void CloseLastObject();
  bool LastObjectEmpty() const;
  int32_t FindJointByName(const char* name) const;
  int ReplaceGeometryFrom(ModelData& result);
  // ==== Processing helpers ===============================================
  void ResetProcessingState();  // bounding box, animation segments, texture scratch
  int ResizeAnimationStore(uint16_t segment, uint64_t bytes, uint32_t& size, const char* message);
  AnimationSegment segments_[kMaxAnimationSegments]{};
  // ==== end of processing helpers =======================================

  SegmentPool pool_;
  MaterialRecord default_material_{};
  GroupState vertex_group_{}, polygon_group_{}, point_group_{}, edge_group_{}, material_group_{},
      light_group_{}, camera_group_{};
  uint32_t vertexs_mark_ = 0;
  uint32_t polygons_mark_ = 0;
  uint32_t points_mark_ = 0;
  int polygon_points_limit_ = 0;
  int polygon_polygons_limit_ = 0;
  int by_size_points_limit_ = 0;
  int by_size_polygons_limit_ = 0;  // never set: that path has only the capacity as limit

  ObjectRecord objects_[kMaxObjects + 1]{};
  uint32_t current_object_ = 0;
  uint32_t explicit_objects_ = 0;
  JointRecord joints_[kMaxJoints]{};
  BoneRecord bones_[kMaxBones]{};
  TextureRecord textures_[kMaxTextures]{};
};

}  // namespace zepcon
