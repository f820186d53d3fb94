#include "mesh.h"

#include "noise.h"
#include "release.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

double length(Vec3 a)
{
    return std::sqrt(dot(a, a));
}

Vec3 normalize(Vec3 a)
{
    double l = length(a);
    return l > 0 ? a * (1 / l) : Vec3{0, 1, 0};
}

UvRect atlas_rect(int size, int x0, int y0, int x1, int y1)
{
    double n = size;
    return {(x0 + 1) / n, (y0 + 1) / n, (x1 - 1) / n, (y1 - 1) / n};
}

namespace {

// Four decimals: a tenth of a millimetre in feet, and the same text for the
// same double everywhere. Trailing zeros go to keep the files small.
void put_number(std::string* out, double value)
{
    char buffer[48];
    snprintf(buffer, sizeof buffer, "%.4f", value);
    char* end = buffer + strlen(buffer);
    while (end > buffer && end[-1] == '0')
        *--end = 0;
    if (end > buffer && end[-1] == '.')
        *--end = 0;
    if (strcmp(buffer, "-0") == 0)
        strcpy(buffer, "0");
    out->append(buffer);
}

Vertex make_vertex(Vec3 p, Vec3 n, double u, double v)
{
    Vertex vertex;
    vertex.position = p;
    vertex.normal = n;
    vertex.u = u;
    vertex.v = v;
    return vertex;
}

double lerp(double a, double b, double t)
{
    return a + (b - a) * t;
}

// Two unit vectors square to axis and to each other, b1 x b2 = axis.
void basis_around(Vec3 axis, Vec3 ref, Vec3* b1, Vec3* b2)
{
    Vec3 r = ref - axis * dot(ref, axis);
    if (length(r) < 1e-6) {
        Vec3 other = std::fabs(axis.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 0, 1};
        r = other - axis * dot(other, axis);
    }
    *b1 = normalize(r);
    *b2 = cross(axis, *b1);
}

} // namespace

std::string encode_km(const Model& model)
{
    std::string out = model.bone_count > 0 ? "KM2\n" + std::to_string(model.bone_count) + " " + model.skeleton + "\n"
                                           : std::string("KM1\n");
    for (const Mesh& mesh : model.meshes) {
        const double header[] = {mesh.shininess, mesh.brightness, mesh.specular.x, mesh.specular.y, mesh.specular.z};
        for (double value : header) {
            put_number(&out, value);
            out += ' ';
        }
        out += std::to_string(mesh.vertices.size()) + " " + std::to_string(mesh.triangle_count()) + "\n";
        for (const Vertex& v : mesh.vertices) {
            const double values[] = {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y, v.normal.z,
                                     v.u, 1 - v.v};
            for (size_t i = 0; i < 8; i++) {
                if (i)
                    out += ' ';
                put_number(&out, values[i]);
            }
            for (int b = 0; b < model.bone_count; b++) {
                double w = 0;
                for (const BoneWeight& bw : v.bones)
                    if (bw.bone == b)
                        w += bw.weight;
                out += ' ';
                put_number(&out, w);
            }
            out += '\n';
        }
        for (size_t i = 0; i < mesh.indices.size(); i += 3)
            out += std::to_string(mesh.indices[i]) + " " + std::to_string(mesh.indices[i + 1]) + " " +
                   std::to_string(mesh.indices[i + 2]) + "\n";
    }
    return out;
}

int triangle_count(const Model& model)
{
    int n = 0;
    for (const Mesh& mesh : model.meshes)
        n += mesh.triangle_count();
    return n;
}

void add_model_chain(Release* release, const std::string& archive, const std::string& name,
                     const std::function<Model(int level)>& build)
{
    for (int level = 0; level < lod_levels; level++) {
        std::string file = level == 0 ? name + ".km" : name + "_lod" + std::to_string(lod_steps[level - 1]) + ".km";
        std::string bytes = encode_km(build(level));
        add_member(release, archive, file, bytes, bytes.size() > 4096);
    }
}

void add_triangle(Mesh* mesh, const Vertex& a, const Vertex& b, const Vertex& c)
{
    int base = int(mesh->vertices.size());
    mesh->vertices.push_back(a);
    mesh->vertices.push_back(b);
    mesh->vertices.push_back(c);
    mesh->indices.insert(mesh->indices.end(), {base, base + 1, base + 2});
}

void add_quad(Mesh* mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, UvRect uv)
{
    Vec3 n = normalize(cross(b - a, c - a));
    int base = int(mesh->vertices.size());
    mesh->vertices.push_back(make_vertex(a, n, uv.u0, uv.v1));
    mesh->vertices.push_back(make_vertex(b, n, uv.u1, uv.v1));
    mesh->vertices.push_back(make_vertex(c, n, uv.u1, uv.v0));
    mesh->vertices.push_back(make_vertex(d, n, uv.u0, uv.v0));
    mesh->indices.insert(mesh->indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
}

void add_card(Mesh* mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, UvRect uv, UvRect back_uv)
{
    add_quad(mesh, a, b, c, d, uv);
    add_quad(mesh, b, a, d, c, back_uv);
}

void add_box(Mesh* mesh, Vec3 centre, Vec3 half, UvRect uv, Vec3 ax, Vec3 ay, Vec3 az)
{
    struct Face {
        Vec3 n, t1, t2;
        double hn, h1, h2;
    } const faces[] = {
        {ax, -az, ay, half.x, half.z, half.y},  {-ax, az, ay, half.x, half.z, half.y},
        {ay, ax, -az, half.y, half.x, half.z},  {-ay, ax, az, half.y, half.x, half.z},
        {az, ax, ay, half.z, half.x, half.y},   {-az, -ax, ay, half.z, half.x, half.y},
    };
    for (const Face& f : faces) {
        Vec3 c = centre + f.n * f.hn;
        Vec3 u = f.t1 * f.h1, v = f.t2 * f.h2;
        add_quad(mesh, c - u - v, c + u - v, c + u + v, c - u + v, uv);
    }
}

namespace {

// The outline turned to run counter-clockwise seen from n's side.
std::vector<Vec3> facing(const std::vector<Vec3>& outline, Vec3 n)
{
    std::vector<Vec3> points = outline;
    Vec3 area;
    for (size_t i = 0; i < points.size(); i++)
        area = area + cross(points[i], points[(i + 1) % points.size()]);
    if (dot(area, n) < 0)
        std::reverse(points.begin(), points.end());
    return points;
}

// A fan over a convex outline already facing n, mapped by its bounds in
// the plane; flip shows it from behind (the back of a slab).
void add_fan(Mesh* mesh, const std::vector<Vec3>& points, Vec3 n, UvRect uv, const std::vector<Vec3>& map_points,
             bool flip)
{
    Vec3 up = Vec3{0, 1, 0} - n * n.y;
    if (length(up) < 1e-6)
        up = Vec3{0, 0, -1} - n * (-n.z);
    Vec3 b2 = normalize(up), b1 = cross(b2, n);
    double lo1 = 1e30, hi1 = -1e30, lo2 = 1e30, hi2 = -1e30;
    for (Vec3 p : map_points) {
        lo1 = std::fmin(lo1, dot(p, b1)), hi1 = std::fmax(hi1, dot(p, b1));
        lo2 = std::fmin(lo2, dot(p, b2)), hi2 = std::fmax(hi2, dot(p, b2));
    }
    Vec3 face = flip ? -n : n;
    auto planar = [&](Vec3 p) {
        double s = (dot(p, b1) - lo1) / (hi1 - lo1), t = (dot(p, b2) - lo2) / (hi2 - lo2);
        return make_vertex(p, face, lerp(uv.u0, uv.u1, flip ? 1 - s : s), lerp(uv.v1, uv.v0, t));
    };
    for (size_t i = 1; i + 1 < points.size(); i++) {
        if (flip)
            add_triangle(mesh, planar(points[0]), planar(points[i + 1]), planar(points[i]));
        else
            add_triangle(mesh, planar(points[0]), planar(points[i]), planar(points[i + 1]));
    }
}

} // namespace

void add_polygon(Mesh* mesh, const std::vector<Vec3>& outline, Vec3 normal, UvRect uv)
{
    Vec3 n = normalize(normal);
    std::vector<Vec3> points = facing(outline, n);
    add_fan(mesh, points, n, uv, points, false);
}

void add_slab(Mesh* mesh, const std::vector<Vec3>& outline, Vec3 normal, double thickness, UvRect uv)
{
    Vec3 n = normalize(normal);
    std::vector<Vec3> points = facing(outline, n);
    add_fan(mesh, points, n, uv, points, false);
    std::vector<Vec3> back = points;
    for (Vec3& p : back)
        p = p - n * thickness;
    add_fan(mesh, back, n, uv, back, true);
    for (size_t i = 0; i < points.size(); i++) {
        Vec3 p = points[i], q = points[(i + 1) % points.size()];
        add_quad(mesh, back[i], back[(i + 1) % points.size()], q, p, uv);
    }
}

void add_tube(Mesh* mesh, const std::vector<Ring>& rings, int sides, Vec3 side, UvRect uv, bool cap_start,
              bool cap_end)
{
    size_t n = rings.size();
    std::vector<double> along(n, 0);
    for (size_t i = 1; i < n; i++)
        along[i] = along[i - 1] + length(rings[i].centre - rings[i - 1].centre);
    double total = along[n - 1] > 0 ? along[n - 1] : 1;
    int base = int(mesh->vertices.size());
    std::vector<Vec3> axes_b1(n), axes_b2(n), tangents(n);
    for (size_t i = 0; i < n; i++) {
        size_t a = i > 0 ? i - 1 : 0, b = i + 1 < n ? i + 1 : n - 1;
        Vec3 t = normalize(rings[b].centre - rings[a].centre);
        // Taper tilts the normals: the surface leans in where the tube narrows.
        double span = along[b] - along[a];
        double slope = span > 0 ? ((rings[b].rx + rings[b].ry) - (rings[a].rx + rings[a].ry)) / (2 * span) : 0;
        tangents[i] = t;
        basis_around(t, side, &axes_b1[i], &axes_b2[i]);
        for (int j = 0; j <= sides; j++) {
            double s, c;
            det_sin_cos(2 * pi * j / sides, &s, &c);
            const Ring& r = rings[i];
            Vec3 p = r.centre + axes_b1[i] * (r.rx * c) + axes_b2[i] * (r.ry * s);
            Vec3 nrm = normalize(axes_b1[i] * (c / r.rx) + axes_b2[i] * (s / r.ry));
            nrm = normalize(nrm - t * slope);
            mesh->vertices.push_back(
                make_vertex(p, nrm, lerp(uv.u0, uv.u1, double(j) / sides), lerp(uv.v0, uv.v1, along[i] / total)));
        }
    }
    int stride = sides + 1;
    for (size_t i = 0; i + 1 < n; i++)
        for (int j = 0; j < sides; j++) {
            int a = base + int(i) * stride + j, b = a + 1, c = b + stride, d = a + stride;
            mesh->indices.insert(mesh->indices.end(), {a, b, c, a, c, d});
        }
    auto cap = [&](size_t i, bool at_end) {
        Vec3 t = at_end ? tangents[i] : -tangents[i];
        int centre = int(mesh->vertices.size());
        double cu = (uv.u0 + uv.u1) / 2, cv = (uv.v0 + uv.v1) / 2;
        mesh->vertices.push_back(make_vertex(rings[i].centre, t, cu, cv));
        for (int j = 0; j <= sides; j++) {
            double s, c;
            det_sin_cos(2 * pi * j / sides, &s, &c);
            Vec3 p = mesh->vertices[size_t(base + int(i) * stride + j)].position;
            mesh->vertices.push_back(
                make_vertex(p, t, cu + c * (uv.u1 - uv.u0) / 2, cv + s * (uv.v1 - uv.v0) / 2));
        }
        for (int j = 0; j < sides; j++) {
            int a = centre + 1 + j, b = a + 1;
            if (at_end)
                mesh->indices.insert(mesh->indices.end(), {centre, a, b});
            else
                mesh->indices.insert(mesh->indices.end(), {centre, b, a});
        }
    };
    if (cap_start)
        cap(0, false);
    if (cap_end)
        cap(n - 1, true);
}

void add_pipe(Mesh* mesh, const std::vector<Vec3>& path, double radius, int sides, Vec3 side, UvRect uv, bool caps)
{
    std::vector<Ring> rings;
    for (Vec3 p : path)
        rings.push_back({p, radius, radius});
    add_tube(mesh, rings, sides, side, uv, caps, caps);
}

void add_lathe(Mesh* mesh, Vec3 centre, Vec3 axis, Vec3 ref, const std::vector<std::pair<double, double>>& profile,
               int sides, const LatheUv& uv, double scale_ref, double scale_other)
{
    Vec3 a = normalize(axis), b1, b2;
    basis_around(a, ref, &b1, &b2);
    size_t n = profile.size();
    // Segment normals in (radial, axial) parts, then shared at gentle bends.
    std::vector<std::pair<double, double>> seg(n > 0 ? n - 1 : 0);
    std::vector<double> along(n, 0);
    for (size_t k = 0; k + 1 < n; k++) {
        double dr = profile[k + 1].first - profile[k].first, dh = profile[k + 1].second - profile[k].second;
        double l = std::sqrt(dr * dr + dh * dh);
        seg[k] = l > 0 ? std::make_pair(dh / l, -dr / l) : std::make_pair(0.0, 0.0);
        along[k + 1] = along[k] + l;
    }
    double total = n > 1 && along[n - 1] > 0 ? along[n - 1] : 1;
    auto shared = [&](size_t k, size_t other) {
        double d = seg[k].first * seg[other].first + seg[k].second * seg[other].second;
        if (d < 0.643)
            return seg[k];
        double r = seg[k].first + seg[other].first, h = seg[k].second + seg[other].second;
        double l = std::sqrt(r * r + h * h);
        return std::make_pair(r / l, h / l);
    };
    for (size_t k = 0; k + 1 < n; k++) {
        if (seg[k].first == 0 && seg[k].second == 0)
            continue;
        std::pair<double, double> ends[2] = {k > 0 ? shared(k, k - 1) : seg[k], k + 2 < n ? shared(k, k + 1) : seg[k]};
        int base = int(mesh->vertices.size());
        for (int e = 0; e < 2; e++) {
            double r = profile[k + e].first, h = profile[k + e].second;
            for (int j = 0; j <= sides; j++) {
                double s, c;
                det_sin_cos(2 * pi * j / sides, &s, &c);
                Vec3 p = centre + a * h + (b1 * (c * scale_ref) + b2 * (s * scale_other)) * r;
                Vec3 nrm = normalize(b1 * (c * ends[e].first / scale_ref) + b2 * (s * ends[e].first / scale_other) +
                                     a * ends[e].second);
                double u, v;
                if (uv.polar) {
                    double rho = (r - uv.r0) / (uv.r1 - uv.r0);
                    rho = rho < 0 ? 0 : rho > 1 ? 1 : rho;
                    u = lerp(uv.rect.u0, uv.rect.u1, 0.5 + 0.5 * rho * c);
                    v = lerp(uv.rect.v0, uv.rect.v1, 0.5 + 0.5 * rho * s);
                } else {
                    u = lerp(uv.rect.u0, uv.rect.u1, double(j) / sides);
                    v = lerp(uv.rect.v0, uv.rect.v1, along[k + e] / total);
                }
                mesh->vertices.push_back(make_vertex(p, nrm, u, v));
            }
        }
        bool pole0 = profile[k].first < 1e-9, pole1 = profile[k + 1].first < 1e-9;
        int stride = sides + 1;
        for (int j = 0; j < sides; j++) {
            int p = base + j, q = p + 1, r = q + stride, s = p + stride;
            if (!pole0)
                mesh->indices.insert(mesh->indices.end(), {p, q, r});
            if (!pole1)
                mesh->indices.insert(mesh->indices.end(), {p, r, s});
        }
    }
}

void translate(Mesh* mesh, Vec3 offset)
{
    for (Vertex& v : mesh->vertices)
        v.position = v.position + offset;
}

void bind_all(Mesh* mesh, std::vector<BoneWeight> bones)
{
    for (Vertex& v : mesh->vertices)
        v.bones = bones;
}

void append(Mesh* mesh, const Mesh& part)
{
    int base = int(mesh->vertices.size());
    mesh->vertices.insert(mesh->vertices.end(), part.vertices.begin(), part.vertices.end());
    for (int i : part.indices)
        mesh->indices.push_back(base + i);
}

// ---- painting

Rgb mix(Rgb a, Rgb b, double t)
{
    return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t)};
}

Rgb scale(Rgb a, double s)
{
    return {a.r * s, a.g * s, a.b * s};
}

namespace {

uint8_t to_byte(double v)
{
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    return uint8_t(v * 255 + 0.5);
}

} // namespace

void put_pixel(Picture* picture, int x, int y, Rgb colour, double alpha)
{
    if (x < 0 || y < 0 || x >= picture->width || y >= picture->height)
        return;
    uint8_t* p = picture->at(x, y);
    p[0] = to_byte(colour.r);
    p[1] = to_byte(colour.g);
    p[2] = to_byte(colour.b);
    if (picture->channels == 4)
        p[3] = to_byte(alpha);
}

Rgb get_pixel(const Picture& picture, int x, int y)
{
    const uint8_t* p = &picture.pixels[(size_t(y) * picture.width + x) * picture.channels];
    return {p[0] / 255.0, p[1] / 255.0, p[2] / 255.0};
}

void fill_noisy(Picture* picture, int x0, int y0, int x1, int y1, Rgb colour, double strength, uint32_t seed)
{
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            double n = fractal_noise(x / 6.0, y / 6.0, seed, 3) - 0.5;
            double grain = hash_unit(x, y, seed ^ 0x5bd1e995U) - 0.5;
            put_pixel(picture, x, y, scale(colour, 1 + strength * (1.4 * n + 0.6 * grain)));
        }
}

namespace {

struct Glyph {
    char c;
    const char* rows[7];
};

// Block capitals: just the letters and digits the release paints.
const Glyph glyphs[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".####", "#....", "#....", "#....", "#....", "#....", ".####"}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".####", "#....", "#....", "#..##", "#...#", "#...#", ".###."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"#...#", "#...#", "#...#", "#####", "....#", "....#", "....#"}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
};

} // namespace

int text_width(const std::string& text, int cell)
{
    return text.empty() ? 0 : int(text.size()) * 6 * cell - cell;
}

void draw_text(Picture* picture, int x, int y, int cell, const std::string& text, Rgb colour)
{
    for (size_t i = 0; i < text.size(); i++) {
        const Glyph* glyph = nullptr;
        for (const Glyph& g : glyphs)
            if (g.c == text[i])
                glyph = &g;
        if (!glyph)
            continue;
        int left = x + int(i) * 6 * cell;
        for (int row = 0; row < 7; row++)
            for (int col = 0; col < 5; col++)
                if (glyph->rows[row][col] == '#')
                    for (int dy = 0; dy < cell; dy++)
                        for (int dx = 0; dx < cell; dx++)
                            put_pixel(picture, left + col * cell + dx, y + row * cell + dy, colour);
    }
}
