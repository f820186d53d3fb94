// Models: meshes read from ".km" text files, cached by name, with chains of
// coarser levels of detail for distant objects, drawn with OpenGL and
// optionally bent by bones. Reading and caching need no GL context (the
// headless race runner creates bikes too); display lists are compiled at the
// first draw that has a context.
#pragma once
#include <cstdint>

struct DataStream;

// One mesh. The first mesh of a file is the model itself; its further meshes
// hang on next_mesh. A model is one allocation holding the record, the arrays
// and the name.
struct Model {
    const char* name;       // the name the model was requested by (first mesh)
    Model* next_mesh;       // next mesh of the same file
    int32_t last_used;      // generation of the last request
    int32_t has_env_meshes; // some mesh is environment-mapped (first mesh)
    uint32_t display_list;  // compiled drawing, 0 when none (yet)
    int32_t vertex_count;
    int32_t triangle_count;
    int32_t weights_per_vertex; // bones k, 0 for rigid meshes
    float specular[4];          // a: 1, or the brightness of an environment-mapped mesh
    float shininess;            // -1 marks an environment-mapped mesh
    float* positions;           // 3 per vertex; skinned meshes: bind pose right behind
    float* normals;             // likewise
    float* tangents;            // likewise
    float* texcoords;           // 2 per vertex, v already flipped
    float* weights;             // k per vertex, summing to 1; null when k = 0
    int32_t* indices;           // 3 per triangle
    float lod_distance;         // 2^n for a "_lodn" level, 0 for the base
    Model* next_lod;            // next coarser level, ascending lod_distance
};

// One bone of a skinned mesh: p maps to rotation x (p - pivot) + translation.
// rotation holds the images of the x, y and z axes one after the other (each
// group of three is a column of the matrix).
struct Bone {
    float pivot[3];
    float rotation[9];
    float translation[3];
};

// The cached model of that name, else loaded and cached; null when the file
// cannot be read (nothing is cached then). "@" names are searched in the data
// locations and get their "_lod" chain.
Model* get_model(const char* name);

// Reads one model file without its level-of-detail chain and without
// caching. Null when the file cannot be opened, has a bad version or its
// first mesh cannot be read. Free the result with free_model.
Model* read_model(const char* name);
// Reads from an open stream; name is stored with the model.
Model* read_model_stream(DataStream* stream, const char* name);
// Frees the model, its meshes, their display lists (when a context is
// current) and its level-of-detail chain.
void free_model(Model* model);

// The level of detail drawn for an object at that position, seen from
// model_camera with the launch lod_bias and lod_scale.
Model* choose_model_lod(Model* model, const float object_position[3]);

// Draws the ordinary meshes of the chosen level, up to the first
// environment-mapped one. The caller binds the texture and sets the colour.
void draw_model(Model* model, const float object_position[3]);
// Draws only the environment-mapped meshes. rotation is the object-to-world
// matrix, row-major (world = M x p, M[r * 3 + c]).
void draw_model_env(Model* model, const float eye[3], const float object_position[3], const float rotation[9]);
// The same with bones; meshes whose k differs from bone_count are drawn as
// they are.
void draw_model_skinned(Model* model, const float object_position[3], int bone_count, const Bone* bones);
void draw_model_env_skinned(Model* model, const float eye[3], const float object_position[3], const float rotation[9],
                            int bone_count, const Bone* bones);

bool model_has_env_meshes(const Model* model);

// Skins every mesh of this level whose k equals bone_count into its current
// arrays (done by the skinned drawing; exposed for tests).
void skin_model(Model* model, int bone_count, const Bone* bones);
// Angular environment-map coordinates (2 per vertex) of one mesh, as drawn
// without shaders.
void env_map_texcoords(const Model* mesh, const float eye[3], const float object_position[3], const float rotation[9],
                       float* texcoords);
// The colour an environment-mapped mesh is drawn in: its specular colour
// times its brightness, alpha 1.
void env_mesh_colour(const Model* mesh, float colour[4]);

// Frees every cached model whose last_used is neither 0 nor the current
// generation (texture_generation, shared with the texture manager).
void evict_models();
// Frees every cached model (tests and shut-down).
void free_models();

// The cached models in load order, for tests.
int32_t model_count();
Model* model_record(int32_t index);

// The camera position for the level-of-detail choice; the scene drawing sets
// it every frame.
extern float model_camera[3];
