#include "assets/model.h"

#include "assets/frame_stats.h"
#include "assets/texture.h"
#include "base/alloc.h"
#include "base/launch.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/log.h"
#include "koru/window.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

float model_camera[3] = {0, 0, 0};

namespace {

// Counts above these come from damaged files; no model of the game comes
// near them, and they keep every size computation far from overflowing.
constexpr int32_t max_mesh_elements = 1 << 22;
constexpr int32_t max_weights_per_vertex = 64;
// A count is only a promise: arrays grow as values actually arrive, so a
// huge count in a short file costs no more than the file holds.
constexpr size_t first_capacity = 4096;

// One mesh as it is read, before the model is packed into one block.
struct MeshData {
    float shininess;
    float specular[4];
    int32_t vertex_count;
    int32_t triangle_count;
    int32_t weights_per_vertex;
    float* positions;
    float* normals;
    float* texcoords;
    float* weights;
    int32_t* indices;
};

void free_mesh_data(MeshData* mesh)
{
    std::free(mesh->positions);
    std::free(mesh->normals);
    std::free(mesh->texcoords);
    std::free(mesh->weights);
    std::free(mesh->indices);
    *mesh = MeshData{};
}

// Grows an array of T to hold at least needed entries out of a promised
// total.
template <typename T>
void reserve(T** array, size_t* capacity, size_t needed, size_t total)
{
    if (needed <= *capacity)
        return;
    size_t grown = std::max(needed, std::min(total, std::max(first_capacity, *capacity * 2)));
    *array = static_cast<T*>(realloc_or_die(*array, grown * sizeof(T)));
    *capacity = grown;
}

bool counts_acceptable(int32_t vertices, int32_t triangles)
{
    return vertices >= 0 && triangles >= 0 && vertices <= max_mesh_elements && triangles <= max_mesh_elements;
}

// Reads the vertices and triangles of a mesh whose counts are set. False
// when a value is missing or an index lies outside the mesh.
bool read_mesh_body(DataStream* stream, MeshData* mesh)
{
    const size_t n = size_t(mesh->vertex_count);
    const size_t k = size_t(mesh->weights_per_vertex);
    size_t vertex_capacity = 0, weight_capacity = 0, index_capacity = 0;
    for (size_t i = 0; i < n; i++) {
        if ((i + 1) * 3 > vertex_capacity) {
            // The three per-vertex arrays grow together.
            reserve(&mesh->positions, &vertex_capacity, (i + 1) * 3, n * 3);
            mesh->normals = static_cast<float*>(realloc_or_die(mesh->normals, vertex_capacity * sizeof(float)));
            mesh->texcoords =
                static_cast<float*>(realloc_or_die(mesh->texcoords, vertex_capacity / 3 * 2 * sizeof(float)));
        }
        float* p = mesh->positions + i * 3;
        float* q = mesh->normals + i * 3;
        float* uv = mesh->texcoords + i * 2;
        if (data_scan(stream, "%f %f %f %f %f %f %f %f", p, p + 1, p + 2, q, q + 1, q + 2, uv, uv + 1) != 8)
            return false;
        uv[1] = 1 - uv[1];
        if (k == 0)
            continue;
        reserve(&mesh->weights, &weight_capacity, (i + 1) * k, n * k);
        float* w = mesh->weights + i * k;
        float sum = 0;
        for (size_t b = 0; b < k; b++) {
            if (data_scan(stream, "%f", w + b) != 1)
                return false;
            sum += w[b];
        }
        for (size_t b = 0; b < k; b++)
            w[b] = sum == 0 ? 1.0f / float(k) : w[b] / sum;
    }
    const size_t t = size_t(mesh->triangle_count);
    for (size_t i = 0; i < t; i++) {
        reserve(&mesh->indices, &index_capacity, (i + 1) * 3, t * 3);
        int32_t* v = mesh->indices + i * 3;
        if (data_scan(stream, "%d %d %d", v, v + 1, v + 2) != 3)
            return false;
        for (int c = 0; c < 3; c++)
            if (v[c] < 0 || v[c] >= mesh->vertex_count)
                return false;
    }
    return true;
}

// Reads the next mesh of the current form; false at the end of the meshes
// or on a mesh that cannot be read (which is discarded).
bool read_current_mesh(DataStream* stream, int32_t weights_per_vertex, MeshData* mesh)
{
    *mesh = MeshData{};
    float brightness = 0;
    if (data_scan(stream, "%f %f %f %f %f %d %d", &mesh->shininess, &brightness, mesh->specular, mesh->specular + 1,
                  mesh->specular + 2, &mesh->vertex_count, &mesh->triangle_count) != 7)
        return false;
    if (!counts_acceptable(mesh->vertex_count, mesh->triangle_count))
        return false;
    mesh->specular[3] = mesh->shininess >= 0 ? 1 : brightness;
    mesh->weights_per_vertex = weights_per_vertex;
    if (read_mesh_body(stream, mesh))
        return true;
    free_mesh_data(mesh);
    return false;
}

bool read_old_mesh(DataStream* stream, MeshData* mesh)
{
    *mesh = MeshData{};
    if (data_scan(stream, "%d %d", &mesh->vertex_count, &mesh->triangle_count) != 2 ||
        !counts_acceptable(mesh->vertex_count, mesh->triangle_count))
        return false;
    mesh->shininess = 32;
    for (float& s : mesh->specular)
        s = 1;
    if (read_mesh_body(stream, mesh))
        return true;
    free_mesh_data(mesh);
    return false;
}

void subtract(const float* a, const float* b, float* out)
{
    for (int i = 0; i < 3; i++)
        out[i] = a[i] - b[i];
}

void cross(const float* a, const float* b, float* out)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

float dot(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Sums a tangent per triangle into its vertices, then normalises. Triangles
// without a usable texture mapping add a tiny vector along an edge, so that
// they only decide where nothing better exists.
void compute_tangents(Model* mesh)
{
    const float tiny = 1.0f / 1048576.0f;
    float* tangents = mesh->tangents;
    std::memset(tangents, 0, size_t(mesh->vertex_count) * 3 * sizeof(float));
    for (int32_t i = 0; i < mesh->triangle_count; i++) {
        const int32_t* v = mesh->indices + i * 3;
        const float* a = mesh->positions + v[0] * 3;
        const float* b = mesh->positions + v[1] * 3;
        const float* c = mesh->positions + v[2] * 3;
        const float* ua = mesh->texcoords + v[0] * 2;
        const float* ub = mesh->texcoords + v[1] * 2;
        const float* uc = mesh->texcoords + v[2] * 2;
        float e1[3], e2[3], t[3];
        subtract(b, a, e1);
        subtract(c, a, e2);
        const float du1 = ub[0] - ua[0], dv1 = ub[1] - ua[1];
        const float du2 = uc[0] - ua[0], dv2 = uc[1] - ua[1];
        const float det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) >= tiny) {
            float bitangent[3], frame[3], face[3];
            for (int j = 0; j < 3; j++) {
                t[j] = (e1[j] * dv2 - e2[j] * dv1) / det;
                bitangent[j] = (e2[j] * du1 - e1[j] * du2) / det;
            }
            cross(t, bitangent, frame);
            cross(e2, e1, face);
            if (dot(frame, face) >= 0)
                for (float& x : t)
                    x = -x;
        } else {
            const float l1 = dot(e1, e1), l2 = dot(e2, e2);
            const float* longer = l1 > l2 ? e1 : e2;
            const float length = std::sqrt(std::max(l1, l2));
            if (length > 0) {
                for (int j = 0; j < 3; j++)
                    t[j] = longer[j] / length * tiny;
            } else {
                t[0] = tiny;
                t[1] = t[2] = 0;
            }
        }
        for (int corner = 0; corner < 3; corner++)
            for (int j = 0; j < 3; j++)
                tangents[v[corner] * 3 + j] += t[j];
    }
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        float* t = tangents + i * 3;
        const float length = std::sqrt(dot(t, t));
        if (length > 0)
            for (int j = 0; j < 3; j++)
                t[j] /= length;
    }
}

// Packs the meshes into one block: the records first, then every array,
// then the name.
Model* pack_model(MeshData* meshes, int32_t mesh_count, const char* name)
{
    size_t floats = 0, ints = 0;
    for (int32_t m = 0; m < mesh_count; m++) {
        const MeshData& d = meshes[m];
        const size_t n = size_t(d.vertex_count), copies = d.weights_per_vertex > 0 ? 2 : 1;
        floats += n * 3 * copies * 3 + n * 2 + n * size_t(d.weights_per_vertex);
        ints += size_t(d.triangle_count) * 3;
    }
    const size_t name_length = std::strlen(name) + 1;
    const size_t records = sizeof(Model) * size_t(mesh_count);
    auto* block = static_cast<unsigned char*>(
        alloc_or_die(records + floats * sizeof(float) + ints * sizeof(int32_t) + name_length));
    auto* models = reinterpret_cast<Model*>(block);
    auto* f = reinterpret_cast<float*>(block + records);
    auto* idx = reinterpret_cast<int32_t*>(f + floats);
    char* stored_name = reinterpret_cast<char*>(idx + ints);
    std::memcpy(stored_name, name, name_length);

    bool env = false;
    for (int32_t m = 0; m < mesh_count; m++) {
        const MeshData& d = meshes[m];
        Model* mesh = &models[m];
        *mesh = Model{};
        const size_t n = size_t(d.vertex_count), k = size_t(d.weights_per_vertex);
        const size_t copies = k > 0 ? 2 : 1;
        mesh->name = stored_name;
        mesh->next_mesh = m + 1 < mesh_count ? &models[m + 1] : nullptr;
        mesh->vertex_count = d.vertex_count;
        mesh->triangle_count = d.triangle_count;
        mesh->weights_per_vertex = d.weights_per_vertex;
        std::memcpy(mesh->specular, d.specular, sizeof mesh->specular);
        mesh->shininess = d.shininess;
        env |= d.shininess < 0;
        mesh->positions = f;
        f += n * 3 * copies;
        mesh->normals = f;
        f += n * 3 * copies;
        mesh->tangents = f;
        f += n * 3 * copies;
        mesh->texcoords = f;
        f += n * 2;
        mesh->weights = k > 0 ? f : nullptr;
        f += n * k;
        mesh->indices = idx;
        idx += size_t(d.triangle_count) * 3;
        if (n > 0) {
            std::memcpy(mesh->positions, d.positions, n * 3 * sizeof(float));
            std::memcpy(mesh->normals, d.normals, n * 3 * sizeof(float));
            std::memcpy(mesh->texcoords, d.texcoords, n * 2 * sizeof(float));
            if (k > 0)
                std::memcpy(mesh->weights, d.weights, n * k * sizeof(float));
        }
        if (d.triangle_count > 0)
            std::memcpy(mesh->indices, d.indices, size_t(d.triangle_count) * 3 * sizeof(int32_t));
        compute_tangents(mesh);
        if (k > 0 && n > 0) {
            std::memcpy(mesh->positions + n * 3, mesh->positions, n * 3 * sizeof(float));
            std::memcpy(mesh->normals + n * 3, mesh->normals, n * 3 * sizeof(float));
            std::memcpy(mesh->tangents + n * 3, mesh->tangents, n * 3 * sizeof(float));
        }
    }
    models[0].has_env_meshes = env;
    return models;
}

// The cache: a growable list in load order.
Model** cached = nullptr;
int32_t cached_count = 0;
int32_t cached_capacity = 0;

void append_cached(Model* model)
{
    if (cached_count == cached_capacity) {
        cached_capacity = cached_capacity ? cached_capacity * 2 : 16;
        cached = static_cast<Model**>(realloc_or_die(cached, sizeof(Model*) * size_t(cached_capacity)));
    }
    cached[cached_count++] = model;
}

bool ends_with_gz(const char* name, size_t length)
{
    return length >= 3 && strcasecmp(name + length - 3, ".gz") == 0;
}

// Finds the "_lod<n>" files beside the requested one and hangs them on the
// model in ascending distance.
void attach_lod_chain(Model* model, const char* name)
{
    const char* base = name + 1;
    const char* dot = std::strrchr(base, '.');
    const size_t base_length = dot ? size_t(dot - base) : std::strlen(base);
    const char* const* list = data_file_list();
    if (!list)
        return;
    for (auto f = list; **f; f++) {
        const char* file = *f;
        if (strncasecmp(file, base, base_length) != 0 || strncasecmp(file + base_length, "_lod", 4) != 0)
            continue;
        const char* digits = file + base_length + 4;
        if (*digits < '0' || *digits > '9')
            continue;
        int32_t n = 0;
        for (const char* d = digits; *d >= '0' && *d <= '9'; d++)
            n = std::min(n * 10 + (*d - '0'), 1000);
        size_t length = std::strlen(file);
        if (ends_with_gz(file, length))
            length -= 3;
        char* level_name = static_cast<char*>(alloc_or_die(length + 2));
        level_name[0] = '@';
        std::memcpy(level_name + 1, file, length);
        level_name[length + 1] = '\0';
        // "x_lod3.km" and "x_lod3.km.gz" are one level.
        bool known = false;
        for (Model* level = model->next_lod; level; level = level->next_lod)
            known |= strcasecmp(level->name, level_name) == 0;
        Model* level = known ? nullptr : read_model(level_name);
        std::free(level_name);
        if (!level)
            continue;
        level->lod_distance = std::ldexp(1.0f, n);
        Model** slot = &model->next_lod;
        while (*slot && (*slot)->lod_distance < level->lod_distance)
            slot = &(*slot)->next_lod;
        level->next_lod = *slot;
        *slot = level;
    }
}

// GL 1.3 entry points for the tangents on texture unit 1, fetched once.
using ClientActiveTextureProc = void (*)(GLenum);
using MultiTexCoord3fProc = void (*)(GLenum, GLfloat, GLfloat, GLfloat);
struct MultitextureProcs {
    bool fetched;
    ClientActiveTextureProc client_active_texture;
    MultiTexCoord3fProc multi_tex_coord_3f;
};
MultitextureProcs multitexture = {};

void* fetch_proc(const char* name, const char* alternative)
{
    void* proc = koru_gl_proc(name);
    return proc ? proc : koru_gl_proc(alternative);
}

bool tangents_wanted()
{
    if (!texture_caps.have_fragment_shader || texture_caps.texture_units <= 1)
        return false;
    if (!multitexture.fetched) {
        multitexture.client_active_texture =
            reinterpret_cast<ClientActiveTextureProc>(fetch_proc("glClientActiveTexture", "glClientActiveTextureARB"));
        multitexture.multi_tex_coord_3f =
            reinterpret_cast<MultiTexCoord3fProc>(fetch_proc("glMultiTexCoord3f", "glMultiTexCoord3fARB"));
        multitexture.fetched = true;
    }
    return multitexture.client_active_texture && multitexture.multi_tex_coord_3f;
}

// Sends the triangles of a mesh; texcoords replaces the mesh's own.
void send_mesh(const Model* mesh, const float* texcoords)
{
    const bool tangents = tangents_wanted();
    if (launch.no_vertex_arrays) {
        glBegin(GL_TRIANGLES);
        for (int32_t i = 0; i < mesh->triangle_count * 3; i++) {
            const int32_t v = mesh->indices[i];
            if (tangents) {
                const float* t = mesh->tangents + v * 3;
                multitexture.multi_tex_coord_3f(GL_TEXTURE1, t[0], t[1], t[2]);
            }
            glTexCoord2fv(texcoords + v * 2);
            glNormal3fv(mesh->normals + v * 3);
            glVertex3fv(mesh->positions + v * 3);
        }
        glEnd();
        return;
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, mesh->positions);
    glNormalPointer(GL_FLOAT, 0, mesh->normals);
    glTexCoordPointer(2, GL_FLOAT, 0, texcoords);
    if (tangents) {
        multitexture.client_active_texture(GL_TEXTURE1);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(3, GL_FLOAT, 0, mesh->tangents);
        multitexture.client_active_texture(GL_TEXTURE0);
    }
    // The index range is known, so the driver need not scan the indices for
    // it before copying the arrays.
    glDrawRangeElements(GL_TRIANGLES, 0, GLuint(mesh->vertex_count > 0 ? mesh->vertex_count - 1 : 0),
                        mesh->triangle_count * 3, GL_UNSIGNED_INT, mesh->indices);
    if (tangents) {
        multitexture.client_active_texture(GL_TEXTURE1);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        multitexture.client_active_texture(GL_TEXTURE0);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// Poses the bind copy of a mesh into its current arrays.
void skin_mesh(Model* mesh, int bone_count, const Bone* bones)
{
    const size_t n = size_t(mesh->vertex_count);
    for (size_t i = 0; i < n; i++) {
        const float* p = mesh->positions + (n + i) * 3;
        const float* q = mesh->normals + (n + i) * 3;
        const float* t = mesh->tangents + (n + i) * 3;
        const float* w = mesh->weights + i * size_t(bone_count);
        float position[3] = {0, 0, 0}, normal[3] = {0, 0, 0}, tangent[3] = {0, 0, 0};
        for (int b = 0; b < bone_count; b++) {
            if (!(w[b] > 0))
                continue;
            const Bone& bone = bones[b];
            const float* r = bone.rotation;
            float local[3];
            subtract(p, bone.pivot, local);
            for (int j = 0; j < 3; j++) {
                position[j] +=
                    w[b] * (r[j] * local[0] + r[3 + j] * local[1] + r[6 + j] * local[2] + bone.translation[j]);
                normal[j] += w[b] * (r[j] * q[0] + r[3 + j] * q[1] + r[6 + j] * q[2]);
                tangent[j] += w[b] * (r[j] * t[0] + r[3 + j] * t[1] + r[6 + j] * t[2]);
            }
        }
        std::memcpy(mesh->positions + i * 3, position, sizeof position);
        std::memcpy(mesh->normals + i * 3, normal, sizeof normal);
        std::memcpy(mesh->tangents + i * 3, tangent, sizeof tangent);
    }
}

bool is_env_mesh(const Model* mesh)
{
    return mesh->shininess < 0;
}

bool wants_display_list(const Model* mesh)
{
    return mesh->weights_per_vertex == 0 && (texture_caps.have_fragment_shader || mesh->shininess >= 0);
}

// Draws one mesh from its display list, compiling the list at the first
// draw; meshes that change (skinned ones, environment maps computed here)
// are sent afresh.
void draw_mesh(Model* mesh, const float* texcoords)
{
    if (mesh->triangle_count == 0)
        return;
    if (!texcoords && !mesh->display_list && wants_display_list(mesh)) {
        mesh->display_list = glGenLists(1);
        if (mesh->display_list) {
            glNewList(mesh->display_list, GL_COMPILE);
            send_mesh(mesh, mesh->texcoords);
            glEndList();
        }
    }
    if (!texcoords && mesh->display_list)
        glCallList(mesh->display_list);
    else
        send_mesh(mesh, texcoords ? texcoords : mesh->texcoords);
    frame_stats.model_triangles += mesh->triangle_count;
    frame_stats.model_vertices += mesh->vertex_count;
}

void set_material(const Model* mesh)
{
    glMaterialfv(GL_FRONT, GL_SPECULAR, mesh->specular);
    // GL refuses exponents above 128 and would keep the previous mesh's.
    glMaterialf(GL_FRONT, GL_SHININESS, std::clamp(mesh->shininess, 0.125f, 128.0f));
}

// Scratch space for environment-map coordinates, kept between frames.
float* env_scratch = nullptr;
size_t env_scratch_capacity = 0;

void draw_ordinary_meshes(Model* model, const float object_position[3], int bone_count, const Bone* bones)
{
    Model* level = choose_model_lod(model, object_position);
    if (!level || !koru_gl_context_current())
        return;
    for (Model* mesh = level; mesh && !is_env_mesh(mesh); mesh = mesh->next_mesh) {
        if (bones && bone_count > 0 && mesh->weights_per_vertex == bone_count)
            skin_mesh(mesh, bone_count, bones);
        set_material(mesh);
        draw_mesh(mesh, nullptr);
    }
}

void draw_env_meshes(Model* model, const float eye[3], const float object_position[3], const float rotation[9],
                     int bone_count, const Bone* bones)
{
    Model* level = choose_model_lod(model, object_position);
    if (!level || !level->has_env_meshes || !koru_gl_context_current())
        return;
    for (Model* mesh = level; mesh; mesh = mesh->next_mesh) {
        if (!is_env_mesh(mesh))
            continue;
        if (bones && bone_count > 0 && mesh->weights_per_vertex == bone_count)
            skin_mesh(mesh, bone_count, bones);
        float colour[4];
        env_mesh_colour(mesh, colour);
        glColor4fv(colour);
        if (texture_caps.have_fragment_shader) {
            draw_mesh(mesh, nullptr);
            continue;
        }
        const size_t needed = size_t(mesh->vertex_count) * 2;
        if (needed > env_scratch_capacity) {
            env_scratch = static_cast<float*>(realloc_or_die(env_scratch, needed * sizeof(float)));
            env_scratch_capacity = needed;
        }
        env_map_texcoords(mesh, eye, object_position, rotation, env_scratch);
        draw_mesh(mesh, env_scratch);
    }
}

void delete_display_lists(Model* model)
{
    const bool context = koru_gl_context_current();
    for (Model* mesh = model; mesh; mesh = mesh->next_mesh) {
        if (mesh->display_list && context)
            glDeleteLists(mesh->display_list, 1);
        mesh->display_list = 0;
    }
}

} // namespace

Model* read_model_stream(DataStream* stream, const char* name)
{
    if (!stream || !name)
        return nullptr;
    MeshData* meshes = nullptr;
    int32_t mesh_count = 0, mesh_capacity = 0;
    auto add = [&](const MeshData& mesh) {
        if (mesh_count == mesh_capacity) {
            mesh_capacity = mesh_capacity ? mesh_capacity * 2 : 4;
            meshes = static_cast<MeshData*>(realloc_or_die(meshes, sizeof(MeshData) * size_t(mesh_capacity)));
        }
        meshes[mesh_count++] = mesh;
    };

    data_scan(stream, " ");
    const int first = data_getc(stream);
    MeshData mesh;
    if (first == 'K') {
        int32_t version = 0, weights_per_vertex = 0;
        char word[1024];
        bool header = data_scan(stream, "M%d", &version) == 1 && (version == 1 || version == 2);
        if (header && version == 2)
            header = data_scan(stream, "%d %1023s", &weights_per_vertex, word) == 2 && weights_per_vertex >= 0 &&
                     weights_per_vertex <= max_weights_per_vertex;
        while (header && read_current_mesh(stream, weights_per_vertex, &mesh))
            add(mesh);
    } else {
        if (first >= 0)
            stream->pushback = first;
        if (read_old_mesh(stream, &mesh))
            add(mesh);
    }
    Model* model = mesh_count > 0 ? pack_model(meshes, mesh_count, name) : nullptr;
    for (int32_t m = 0; m < mesh_count; m++)
        free_mesh_data(&meshes[m]);
    std::free(meshes);
    return model;
}

Model* read_model(const char* name)
{
    if (!name)
        return nullptr;
    DataStream* stream = data_open(name, "rb");
    if (!stream)
        return nullptr;
    Model* model = read_model_stream(stream, name);
    data_close(stream);
    return model;
}

void free_model(Model* model)
{
    while (model) {
        Model* next = model->next_lod;
        delete_display_lists(model);
        std::free(model);
        model = next;
    }
}

Model* get_model(const char* name)
{
    if (!name || !*name)
        return nullptr;
    for (int32_t i = 0; i < cached_count; i++)
        if (std::strcmp(cached[i]->name, name) == 0) {
            cached[i]->last_used = texture_generation;
            return cached[i];
        }
    for (int32_t i = 0; i < cached_count; i++)
        if (strcasecmp(cached[i]->name, name) == 0) {
            koru_log("Warning: case mismatch on '%.900s'\n", name);
            cached[i]->last_used = texture_generation;
            return cached[i];
        }
    Model* model = read_model(name);
    if (!model)
        return nullptr;
    if (name[0] == '@')
        attach_lod_chain(model, name);
    model->last_used = texture_generation;
    append_cached(model);
    return model;
}

Model* choose_model_lod(Model* model, const float object_position[3])
{
    if (!model || !object_position)
        return model;
    float d[3];
    subtract(object_position, model_camera, d);
    const float d2 = dot(d, d) * launch.lod_scale * launch.lod_scale;
    Model* level = model;
    while (level->next_lod) {
        const float g = level->next_lod->lod_distance - launch.lod_bias;
        if (g > 0 && d2 < g * g)
            break;
        level = level->next_lod;
    }
    return level;
}

bool model_has_env_meshes(const Model* model)
{
    return model && model->has_env_meshes;
}

void skin_model(Model* model, int bone_count, const Bone* bones)
{
    for (Model* mesh = model; mesh; mesh = mesh->next_mesh)
        if (bones && bone_count > 0 && mesh->weights_per_vertex == bone_count)
            skin_mesh(mesh, bone_count, bones);
}

void env_map_texcoords(const Model* mesh, const float eye[3], const float object_position[3], const float rotation[9],
                       float* texcoords)
{
    const float* m = rotation;
    float offset[3], d[3];
    subtract(object_position, eye, offset);
    for (int c = 0; c < 3; c++)
        d[c] = m[c] * offset[0] + m[3 + c] * offset[1] + m[6 + c] * offset[2];
    const float two_pi = 6.28318530717958647692f;
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        const float* p = mesh->positions + i * 3;
        const float* n = mesh->normals + i * 3;
        float v[3], r[3], world[3];
        for (int j = 0; j < 3; j++)
            v[j] = p[j] + d[j];
        const float vn = dot(v, n);
        for (int j = 0; j < 3; j++)
            r[j] = v[j] - 2 * vn * n[j];
        for (int j = 0; j < 3; j++)
            world[j] = m[j * 3] * r[0] + m[j * 3 + 1] * r[1] + m[j * 3 + 2] * r[2];
        const float length = std::sqrt(dot(world, world));
        float* uv = texcoords + i * 2;
        // An eye on the vertex reflects nothing: show the centre of the map.
        if (!(length > 0)) {
            uv[0] = uv[1] = 0.5f;
            continue;
        }
        for (float& x : world)
            x /= length;
        const float a = std::acos(std::clamp(world[1], -1.0f, 1.0f)) / two_pi;
        const float h = std::sqrt(world[0] * world[0] + world[2] * world[2]);
        // Straight up or down has no direction around the map; the centre
        // and a point of the rim stand for them.
        if (!(h > 0)) {
            uv[0] = a + 0.5f;
            uv[1] = 0.5f;
            continue;
        }
        uv[0] = a * world[0] / h + 0.5f;
        uv[1] = a * world[2] / h + 0.5f;
    }
}

void env_mesh_colour(const Model* mesh, float colour[4])
{
    for (int j = 0; j < 3; j++)
        colour[j] = mesh->specular[j] * mesh->specular[3];
    colour[3] = 1;
}

void draw_model(Model* model, const float object_position[3])
{
    draw_ordinary_meshes(model, object_position, 0, nullptr);
}

void draw_model_skinned(Model* model, const float object_position[3], int bone_count, const Bone* bones)
{
    draw_ordinary_meshes(model, object_position, bone_count, bones);
}

void draw_model_env(Model* model, const float eye[3], const float object_position[3], const float rotation[9])
{
    draw_env_meshes(model, eye, object_position, rotation, 0, nullptr);
}

void draw_model_env_skinned(Model* model, const float eye[3], const float object_position[3], const float rotation[9],
                            int bone_count, const Bone* bones)
{
    draw_env_meshes(model, eye, object_position, rotation, bone_count, bones);
}

void evict_models()
{
    int32_t kept = 0;
    for (int32_t i = 0; i < cached_count; i++) {
        Model* model = cached[i];
        if (model->last_used == 0 || model->last_used == texture_generation) {
            cached[kept++] = model;
            continue;
        }
        if (launch.debug_level >= 1)
            koru_log("deleting model %.900s\n", model->name);
        free_model(model);
    }
    cached_count = kept;
}

void free_models()
{
    for (int32_t i = 0; i < cached_count; i++)
        free_model(cached[i]);
    std::free(cached);
    cached = nullptr;
    cached_count = cached_capacity = 0;
}

int32_t model_count()
{
    return cached_count;
}

Model* model_record(int32_t index)
{
    return index >= 0 && index < cached_count ? cached[index] : nullptr;
}
