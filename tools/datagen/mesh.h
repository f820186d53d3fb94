// Models as the game reads them (".km"), the geometry helpers every kind of
// model is built from, and the few painting helpers their textures share.
//
// Every number that ends up in a file goes through deterministic arithmetic:
// sines and cosines come from det_sin_cos, never from the C library, whose
// results may differ in the last bit between builds of the library.
#pragma once
#include "det_math.h"
#include "image_out.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Release;

struct Vec3 {
    double x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, Vec3 a) { return a * s; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(Vec3 a);
Vec3 normalize(Vec3 a);
// The same point with x negated: the left-hand twin of a right-hand part.
inline Vec3 mirror_x(Vec3 a) { return {-a.x, a.y, a.z}; }


// A rectangle of a texture in pixel fractions, rows top to bottom as the
// picture is painted; the writer turns it into the file's flipped v.
struct UvRect {
    double u0 = 0, v0 = 0, u1 = 1, v1 = 1;
};
// The rectangle of x0..x1, y0..y1 pixels of a size x size texture, pulled in
// by one pixel so that filtering stays inside it.
UvRect atlas_rect(int size, int x0, int y0, int x1, int y1);

struct BoneWeight {
    int bone = 0;
    double weight = 1;
};

struct Vertex {
    Vec3 position;
    Vec3 normal;
    double u = 0, v = 0; // picture convention: v = 0 is the top row
    std::vector<BoneWeight> bones; // skinned models only
};

struct Mesh {
    // shininess -1 marks an environment-mapped mesh; the game draws those in
    // a pass of their own after the ordinary ones, so they come last.
    double shininess = 32;
    double brightness = 1;
    Vec3 specular{1, 1, 1};
    std::vector<Vertex> vertices;
    std::vector<int> indices; // three per triangle
    int triangle_count() const { return int(indices.size() / 3); }
};

struct Model {
    int bone_count = 0; // weights per vertex; 0 writes a version 1 file
    std::string skeleton = "rider";
    std::vector<Mesh> meshes;
};

// The ".km" text of the current form: "KM1" for rigid models, "KM2" with the
// bone count for skinned ones. Every vertex carries bone_count weights.
std::string encode_km(const Model& model);
int triangle_count(const Model& model);

// The coarser levels written beside every model: "<name>_lod<n>.km" is drawn
// from 2^n ft on. Level 0 is the model itself.
constexpr int lod_steps[] = {3, 5, 6};
constexpr int lod_levels = 1 + int(sizeof lod_steps / sizeof lod_steps[0]);
// Writes name + ".km" and its coarser levels, built by build(level) for
// level 0 .. lod_levels - 1. Large models are stored compressed.
void add_model_chain(Release* release, const std::string& archive, const std::string& name,
                     const std::function<Model(int level)>& build);

// ---- geometry helpers: every surface is wound counter-clockwise seen from
// the side its normals point to, because the game culls back faces.

void add_triangle(Mesh* mesh, const Vertex& a, const Vertex& b, const Vertex& c);
// A flat quad a b c d (counter-clockwise seen from the front) with the
// rectangle spread over it, a at (u0, v1), b at (u1, v1), c at (u1, v0).
void add_quad(Mesh* mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, UvRect uv);
// The same quad seen from both sides; the back shows back_uv.
void add_card(Mesh* mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, UvRect uv, UvRect back_uv);
// A box with edges along the axes x, y, z (unit, right-handed), every face
// showing the whole rectangle.
void add_box(Mesh* mesh, Vec3 centre, Vec3 half, UvRect uv, Vec3 ax = {1, 0, 0}, Vec3 ay = {0, 1, 0},
             Vec3 az = {0, 0, 1});
// A flat convex polygon (either way round) facing normal, with a planar map:
// the picture's top towards +y (or -z on level faces), its right to the
// right of someone looking at the face.
void add_polygon(Mesh* mesh, const std::vector<Vec3>& outline, Vec3 normal, UvRect uv);
// A convex outline (either way round) on a plane facing normal, pushed out
// to a slab of the given thickness behind it. The faces take the outline's
// planar map, with the picture's top towards +y (or -z on level faces).
void add_slab(Mesh* mesh, const std::vector<Vec3>& outline, Vec3 normal, double thickness, UvRect uv);

// One cross-section of a tube: an ellipse around centre, rx along the side
// reference, ry across it.
struct Ring {
    Vec3 centre;
    double rx = 0, ry = 0;
};
// A tube through the rings (at least two), sides around; side is a
// direction not along the tube that fixes where rx is measured. u runs
// around the tube, v along it.
void add_tube(Mesh* mesh, const std::vector<Ring>& rings, int sides, Vec3 side, UvRect uv, bool cap_start,
              bool cap_end);
// Convenience: a round tube of one radius along a path.
void add_pipe(Mesh* mesh, const std::vector<Vec3>& path, double radius, int sides, Vec3 side, UvRect uv,
              bool caps = true);

// A surface of revolution about axis through centre. profile holds (radius,
// height along axis) points; the outside lies to the right of the profile in
// the (radius, height) plane, so a solid is traced up its outer wall and
// inwards across its top. Corners sharper than about 50 degrees keep
// separate normals. scale stretches the section along ref and along
// axis x ref.
struct LatheUv {
    UvRect rect;
    bool polar = false; // true: the rectangle is a disc, radius r0..r1 mapped to its centre..rim
    double r0 = 0, r1 = 1;
};
void add_lathe(Mesh* mesh, Vec3 centre, Vec3 axis, Vec3 ref, const std::vector<std::pair<double, double>>& profile,
               int sides, const LatheUv& uv, double scale_ref = 1, double scale_other = 1);

// Moves every vertex (into a body's own coordinates).
void translate(Mesh* mesh, Vec3 offset);
// Gives every vertex of the mesh this one binding.
void bind_all(Mesh* mesh, std::vector<BoneWeight> bones);
// Appends the vertices and triangles of part to mesh.
void append(Mesh* mesh, const Mesh& part);

// ---- painting helpers for the textures the models map into.

struct Rgb {
    double r = 0, g = 0, b = 0; // 0..1
};
Rgb mix(Rgb a, Rgb b, double t);
Rgb scale(Rgb a, double s);
// Writes a colour (clamped to 0..1) with alpha a into a 3 or 4 channel picture.
void put_pixel(Picture* picture, int x, int y, Rgb colour, double alpha = 1);
Rgb get_pixel(const Picture& picture, int x, int y);
// Fills x0..x1, y0..y1 (exclusive ends) with the colour roughened by tiling
// noise of the given strength.
void fill_noisy(Picture* picture, int x0, int y0, int x1, int y1, Rgb colour, double strength, uint32_t seed);
// Block capitals and digits, 5 x 7 cells of cell pixels each, from (x, y).
// Characters the font lacks leave a gap.
void draw_text(Picture* picture, int x, int y, int cell, const std::string& text, Rgb colour);
int text_width(const std::string& text, int cell);
