// Model files, their cache and level-of-detail chains, headless; and the
// drawing against a real GL context (llvmpipe through SDL's offscreen driver).
#include "assets/frame_stats.h"
#include "assets/model.h"
#include "assets/texture.h"
#include "base/launch.h"
#include "data/home.h"
#include "data/stream.h"
#include "koru/window.h"
#include "support/fixture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The mesh header of the current form.
std::string header(float shininess, float brightness, float r, float g, float b, int vertices, int triangles)
{
    return std::to_string(shininess) + " " + std::to_string(brightness) + " " + std::to_string(r) + " " +
           std::to_string(g) + " " + std::to_string(b) + " " + std::to_string(vertices) + " " +
           std::to_string(triangles) + "\n";
}

// One triangle in the x-y plane facing +z, u = x and v = y in the file.
const char triangle_body[] = "0 0 0  0 0 1  0 0\n"
                             "1 0 0  0 0 1  1 0\n"
                             "0 1 0  0 0 1  0 1\n"
                             "0 1 2\n";

std::string triangle_mesh(float shininess = 16, float brightness = 0.5f)
{
    return header(shininess, brightness, 0.25f, 0.5f, 1, 3, 1) + triangle_body;
}

// A square of two triangles over (0,0)-(1,1) at z = 0, facing +z.
std::string square_mesh(float shininess, float brightness, float r, float g, float b)
{
    return header(shininess, brightness, r, g, b, 4, 2) +
           "0 0 0  0 0 1  0 0\n1 0 0  0 0 1  1 0\n1 1 0  0 0 1  1 1\n0 1 0  0 0 "
           "1  0 1\n0 1 2\n0 2 3\n";
}

Model* parse(const std::string& text, const char* name = "test.km")
{
    DataStream* stream = data_open_memory(text.data(), text.size());
    Model* model = read_model_stream(stream, name);
    data_close(stream);
    return model;
}

int mesh_count(const Model* model)
{
    int n = 0;
    for (; model; model = model->next_mesh)
        n++;
    return n;
}

TEST(ModelFile, WhichFilesLoadAndHowManyMeshes)
{
    struct Case {
        const char* what;
        std::string text;
        int meshes; // 0: the load fails
    } cases[] = {
        {"two meshes", "KM1\n" + triangle_mesh() + triangle_mesh(), 2},
        {"white space is free", "  \n KM1 " + triangle_mesh(), 1},
        {"truncated second mesh ends the model",
         "KM1\n" + triangle_mesh() + header(8, 1, 1, 1, 1, 3, 1) + "0 0 0 0 0 1", 1},
        {"truncated first mesh", "KM1\n" + header(8, 1, 1, 1, 1, 3, 1) + "0 0 0 0 0 1", 0},
        {"no mesh at all", "KM1\n", 0},
        {"version 3", "KM3\n" + triangle_mesh(), 0},
        {"version 0", "KM0\n" + triangle_mesh(), 0},
        {"not a model", "KX1\n" + triangle_mesh(), 0},
        {"version 2 without weights count", "KM2\n", 0},
        {"index past the vertices",
         "KM1\n" + header(8, 1, 1, 1, 1, 3, 1) +
             "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n"
             "0 1 0 0 0 1 0 1\n0 1 3\n",
         0},
        {"negative index",
         "KM1\n" + header(8, 1, 1, 1, 1, 3, 1) +
             "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n"
             "0 1 0 0 0 1 0 1\n0 -1 2\n",
         0},
        {"bad index in a later mesh keeps the earlier",
         "KM1\n" + triangle_mesh() + header(8, 1, 1, 1, 1, 3, 1) +
             "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n"
             "0 1 0 0 0 1 0 1\n0 1 7\n" +
             triangle_mesh(),
         1},
        {"negative vertex count", "KM1\n" + header(8, 1, 1, 1, 1, -3, 1) + "0 1 2\n", 0},
        {"huge counts in a short file", "KM1\n" + header(8, 1, 1, 1, 1, 2000000000, 2000000000) + triangle_body, 0},
        {"huge counts after a good mesh", "KM1\n" + triangle_mesh() + header(8, 1, 1, 1, 1, 4000000, 1) + triangle_body,
         1},
        {"huge weights count", "KM2 1000000000 body\n" + triangle_mesh(), 0},
        {"old form", std::string("3 1\n") + triangle_body, 1},
        {"old form truncated", "3 1\n0 0 0 0 0 1 0 0\n", 0},
        {"empty file", "", 0},
    };
    for (const Case& c : cases) {
        Model* model = parse(c.text);
        EXPECT_EQ(mesh_count(model), c.meshes) << c.what;
        free_model(model);
    }
}

TEST(ModelFile, MeshContentsOfBothForms)
{
    Model* model = parse("KM1\n" + triangle_mesh(16, 0.5f) + triangle_mesh(-1, 0.5f), "name.km");
    ASSERT_NE(model, nullptr);
    EXPECT_STREQ(model->name, "name.km");
    EXPECT_EQ(model->vertex_count, 3);
    EXPECT_EQ(model->triangle_count, 1);
    EXPECT_EQ(model->weights_per_vertex, 0);
    EXPECT_EQ(model->weights, nullptr);
    EXPECT_FLOAT_EQ(model->shininess, 16);
    // The brightness only counts for environment-mapped meshes.
    const float ordinary[4] = {0.25f, 0.5f, 1, 1};
    const float env[4] = {0.25f, 0.5f, 1, 0.5f};
    for (int j = 0; j < 4; j++) {
        EXPECT_FLOAT_EQ(model->specular[j], ordinary[j]);
        EXPECT_FLOAT_EQ(model->next_mesh->specular[j], env[j]);
    }
    EXPECT_TRUE(model_has_env_meshes(model));
    EXPECT_FLOAT_EQ(model->positions[3], 1);
    EXPECT_FLOAT_EQ(model->normals[2], 1);
    // v is flipped: the file's (1, 0) and (0, 1).
    EXPECT_FLOAT_EQ(model->texcoords[2], 1);
    EXPECT_FLOAT_EQ(model->texcoords[3], 1);
    EXPECT_FLOAT_EQ(model->texcoords[5], 0);
    EXPECT_EQ(model->indices[2], 2);
    EXPECT_EQ(model->next_lod, nullptr);
    free_model(model);

    Model* old = parse(std::string("3 1\n") + triangle_body);
    ASSERT_NE(old, nullptr);
    EXPECT_FLOAT_EQ(old->shininess, 32);
    for (float s : old->specular)
        EXPECT_FLOAT_EQ(s, 1);
    EXPECT_FALSE(model_has_env_meshes(old));
    EXPECT_FLOAT_EQ(old->texcoords[1], 1);
    free_model(old);
}

TEST(ModelFile, WeightsAreNormalisedAndZeroWeightsShared)
{
    Model* model = parse("KM2 2 bones\n" + header(8, 1, 1, 1, 1, 3, 1) +
                         "0 0 0 0 0 1 0 0  1 3\n"
                         "1 0 0 0 0 1 1 0  0 0\n"
                         "0 1 0 0 0 1 0 1  0 2\n"
                         "0 1 2\n");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->weights_per_vertex, 2);
    const float expected[6] = {0.25f, 0.75f, 0.5f, 0.5f, 0, 1};
    for (int i = 0; i < 6; i++)
        EXPECT_FLOAT_EQ(model->weights[i], expected[i]) << i;
    // The bind pose sits right behind the current arrays.
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(model->positions[9 + i], model->positions[i]);
        EXPECT_EQ(model->normals[9 + i], model->normals[i]);
        EXPECT_EQ(model->tangents[9 + i], model->tangents[i]);
    }
    free_model(model);
}

void expect_vector(const float* actual, float x, float y, float z, const char* what)
{
    EXPECT_NEAR(actual[0], x, 1e-5f) << what;
    EXPECT_NEAR(actual[1], y, 1e-5f) << what;
    EXPECT_NEAR(actual[2], z, 1e-5f) << what;
}

TEST(ModelFile, TangentsFollowTheTextureOrAnEdge)
{
    // The square mapped u = x and (stored, flipped) v = 1 - y: the frame is
    // mirrored, so the tangent is turned round to -x.
    Model* square = parse("KM1\n" + square_mesh(8, 1, 1, 1, 1));
    ASSERT_NE(square, nullptr);
    for (int i = 0; i < 4; i++)
        expect_vector(square->tangents + i * 3, -1, 0, 0, "mapped square");
    free_model(square);

    // With u running towards -x as well the frame is no longer mirrored and
    // the tangent, along increasing u, is kept.
    Model* mirrored =
        parse("KM1\n" + header(8, 1, 1, 1, 1, 3, 1) + "0 0 0 0 0 1 1 0\n1 0 0 0 0 1 0 0\n0 1 0 0 0 1 1 1\n0 1 2\n");
    ASSERT_NE(mirrored, nullptr);
    expect_vector(mirrored->tangents, -1, 0, 0, "mirrored u");
    free_model(mirrored);

    // No usable mapping: along the longer edge; a point triangle: along x.
    // Vertex 0, shared with a mapped triangle, takes the mapped tangent.
    Model* unmapped = parse("KM1\n" + header(8, 1, 1, 1, 1, 7, 3) +
                            "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 0 0\n0 3 0 0 0 1 0 0\n"
                            "5 5 5 0 0 1 0 0\n"
                            "0 0 0 0 0 1 0 0\n0 0 2 0 0 1 1 0\n0 1 0 0 0 1 0 1\n"
                            "0 1 2\n3 3 3\n0 5 6\n");
    ASSERT_NE(unmapped, nullptr);
    expect_vector(unmapped->tangents + 2 * 3, 0, 1, 0, "longer edge");
    expect_vector(unmapped->tangents, 0, 0, -1, "shared with a mapped (mirrored) triangle");
    expect_vector(unmapped->tangents + 3 * 3, 1, 0, 0, "point");
    free_model(unmapped);
}

TEST(ModelSkinning, BonesMoveVerticesNormalsAndTangents)
{
    Model* model = parse("KM2 2 bones\n" + header(8, 1, 1, 1, 1, 3, 1) +
                         "2 0 0  1 0 0  0 0  1 0\n"
                         "2 0 0  1 0 0  1 0  1 1\n"
                         "0 1 0  0 0 1  0 1  0 1\n"
                         "0 1 2\n");
    ASSERT_NE(model, nullptr);
    // Bone 0 turns a quarter about z around (1, 0, 0) and lands it at
    // (0, 5, 0); bone 1 shifts by (0, 0, 4).
    Bone bones[2] = {
        {{1, 0, 0}, {0, 1, 0, -1, 0, 0, 0, 0, 1}, {0, 5, 0}},
        {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 4}},
    };
    const std::vector<float> bind(model->positions, model->positions + 9);
    skin_model(model, 3, bones);
    EXPECT_EQ(std::vector<float>(model->positions, model->positions + 9), bind) << "bone count differs from k";

    skin_model(model, 2, bones);
    expect_vector(model->positions, 0, 6, 0, "bone 0 only");
    expect_vector(model->normals, 0, 1, 0, "normal turned");
    expect_vector(model->positions + 3, 1, 3, 2, "half each");
    expect_vector(model->positions + 6, 0, 1, 4, "bone 1 only");
    // The bind pose stays, so skinning again gives the same.
    expect_vector(model->positions + 9, 2, 0, 0, "bind pose");
    skin_model(model, 2, bones);
    expect_vector(model->positions, 0, 6, 0, "skinned twice");
    free_model(model);
}

TEST(ModelEnvironment, AngularMapFromEyeObjectAndRotation)
{
    Model* model =
        parse("KM1\n" + header(-1, 1, 1, 1, 1, 3, 1) + "0 0 0 0 1 0 0 0\n1 0 0 0 1 0 0 0\n0 0 1 0 1 0 0 0\n0 1 2\n");
    ASSERT_NE(model, nullptr);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    // A quarter turn about y: object x goes to world -z.
    const float turned[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    const float origin[3] = {0, 0, 0};
    struct Case {
        const char* what;
        float eye[3];
        const float* rotation;
        float u, v; // of vertex 0
    } cases[] = {
        {"looking straight down reflects straight up: the centre", {0, 10, 0}, identity, 0.5f, 0.5f},
        {"45 degrees up towards +x", {-1, 1, 0}, identity, 0.625f, 0.5f},
        {"the same seen in a turned object", {0, 1, 1}, turned, 0.5f, 0.375f},
    };
    float uv[6];
    for (const Case& c : cases) {
        env_map_texcoords(model, c.eye, origin, c.rotation, uv);
        EXPECT_NEAR(uv[0], c.u, 1e-5f) << c.what;
        EXPECT_NEAR(uv[1], c.v, 1e-5f) << c.what;
    }
    // The eye on the vertex gives no direction, yet a finite coordinate.
    const float on_vertex[3] = {0, 0, 0};
    env_map_texcoords(model, on_vertex, origin, identity, uv);
    EXPECT_TRUE(std::isfinite(uv[0]) && std::isfinite(uv[1]));
    free_model(model);
}

struct ModelCacheTest : ::testing::Test {
    TestHome home;
    LaunchSettings saved = launch;
    int32_t saved_generation = texture_generation;

    void SetUp() override { free_models(); }
    void TearDown() override
    {
        free_models();
        launch = saved;
        texture_generation = saved_generation;
        model_camera[0] = model_camera[1] = model_camera[2] = 0;
    }
    void put(const std::string& name, const std::string& bytes)
    {
        write_file(home.data(name), bytes);
        data_reset();
    }
    std::string log() { return read_file(home.log_file()); }
};

TEST_F(ModelCacheTest, OneModelPerNameWhateverTheCase)
{
    put("bikes/frame.km", "KM1\n" + triangle_mesh());
    texture_generation = 3;
    Model* model = get_model("@bikes/frame.km");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->last_used, 3);
    EXPECT_EQ(get_model("@bikes/frame.km"), model);
    EXPECT_EQ(log().find("case mismatch"), std::string::npos);
    texture_generation = 4;
    EXPECT_EQ(get_model("@Bikes/FRAME.km"), model);
    EXPECT_NE(log().find("Warning: case mismatch on '@Bikes/FRAME.km'\n"), std::string::npos) << log();
    EXPECT_EQ(model->last_used, 4);
    EXPECT_EQ(model_count(), 1);

    EXPECT_EQ(get_model("@bikes/missing.km"), nullptr);
    put("bikes/broken.km", "KM3\n" + triangle_mesh());
    EXPECT_EQ(get_model("@bikes/broken.km"), nullptr);
    EXPECT_EQ(get_model(nullptr), nullptr);
    EXPECT_EQ(model_count(), 1);
}

TEST_F(ModelCacheTest, EvictionFreesWhatTheNewSessionDidNotRequest)
{
    for (const char* name : {"a.km", "b.km", "c.km"})
        put(name, "KM1\n" + triangle_mesh());
    texture_generation = 0;
    ASSERT_NE(get_model("@a.km"),
              nullptr); // before the first track: kept for the run
    texture_generation = 1;
    ASSERT_NE(get_model("@b.km"), nullptr);
    ASSERT_NE(get_model("@c.km"), nullptr);
    texture_generation = 2;
    Model* c = get_model("@c.km");
    launch.debug_level = 1;
    evict_models();
    ASSERT_EQ(model_count(), 2);
    EXPECT_STREQ(model_record(0)->name, "@a.km");
    EXPECT_EQ(model_record(1), c);
    EXPECT_NE(log().find("deleting model @b.km\n"), std::string::npos) << log();

    launch.debug_level = 0;
    texture_generation = 3;
    evict_models();
    EXPECT_EQ(model_count(), 1);
    EXPECT_EQ(log().find("deleting model @c.km"), std::string::npos) << "silent below log level 1";
}

std::vector<std::string> chain_names(const Model* model)
{
    std::vector<std::string> names;
    for (; model; model = model->next_lod)
        names.push_back(model->name + std::string(" ") + std::to_string(int(model->lod_distance)));
    return names;
}

TEST_F(ModelCacheTest, LevelsOfDetailBesideTheFile)
{
    put("bike.km", "KM1\n" + triangle_mesh());
    put("bike_lod5.km", "KM1\n" + triangle_mesh());
    put("bike_lod3.km.gz", gzip_bytes("KM1\n" + triangle_mesh()));
    put("bike_lodx.km", "KM1\n" + triangle_mesh());  // no number
    put("bikes_lod2.km", "KM1\n" + triangle_mesh()); // another model
    put("bike_lod4.km", "KM3\n");                    // unreadable: skipped
    Model* model = get_model("@bike.km");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(chain_names(model), (std::vector<std::string>{"@bike.km 0", "@bike_lod3.km 8", "@bike_lod5.km 32"}));
    EXPECT_EQ(model_count(), 1) << "levels are not cache entries of their own";

    Model* lod3 = model->next_lod;
    Model* lod5 = lod3->next_lod;
    struct Case {
        float bias, scale, distance;
        Model* drawn;
    } cases[] = {
        {0, 1, 0, model},
        {0, 1, 7.9f, model},
        {0, 1, 8, lod3},
        {0, 1, 31.9f, lod3},
        {0, 1, 32, lod5},
        {0, 1, 500, lod5},
        {0, 2, 4, lod3},
        {0, 0.5f, 60, lod3},
        // A level at or below the bias is always passed over.
        {8, 1, 0, lod3},
        {8, 1, 23.9f, lod3},
        {8, 1, 24, lod5},
        {40, 1, 0, lod5},
        {-8, 1, 15.9f, model},
        {-8, 1, 16, lod3},
    };
    for (const Case& c : cases) {
        launch.lod_bias = c.bias;
        launch.lod_scale = c.scale;
        model_camera[0] = 1;
        model_camera[1] = 2;
        model_camera[2] = 3;
        const float at[3] = {1, 2, 3 + c.distance};
        EXPECT_EQ(choose_model_lod(model, at), c.drawn)
            << "bias " << c.bias << " scale " << c.scale << " distance " << c.distance;
    }

    // Only data-search names get levels.
    put("plain/bike.km", "KM1\n" + triangle_mesh());
    put("plain/bike_lod3.km", "KM1\n" + triangle_mesh());
    Model* plain = get_model(home.data("plain/bike.km").c_str());
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->next_lod, nullptr);
}

TEST_F(ModelCacheTest, DrawingWithoutAContextDoesNothing)
{
    put("a.km", "KM1\n" + triangle_mesh() + triangle_mesh(-1, 1));
    Model* model = get_model("@a.km");
    ASSERT_NE(model, nullptr);
    ASSERT_FALSE(koru_gl_context_current());
    reset_frame_stats();
    const float at[3] = {0, 0, 0};
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    draw_model(model, at);
    draw_model_env(model, at, at, identity);
    EXPECT_EQ(frame_stats.model_triangles, 0);
    EXPECT_EQ(model->display_list, 0u);
    draw_model(nullptr, at);
}

TEST_F(ModelCacheTest, EveryShippedModelLoads)
{
    install_release(home.data());
    data_reset();
    int loaded = 0;
    for (auto f = data_file_list(); **f; f++) {
        std::string name = *f;
        if (name.size() > 3 && name.substr(name.size() - 3) == ".gz")
            name.resize(name.size() - 3);
        if (name.size() < 3 || name.substr(name.size() - 3) != ".km")
            continue;
        EXPECT_NE(get_model(("@" + name).c_str()), nullptr) << name;
        loaded++;
    }
    EXPECT_GT(loaded, 0);
}

struct ModelDrawTest : ModelCacheTest {
    KoruWindow* window = nullptr;
    TextureCaps saved_caps = texture_caps;

    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        ModelCacheTest::SetUp();
        texture_caps = TextureCaps{false, 1, false};
        window = koru_open_gl_window("test", 64, 64, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr) << read_file(home.log_file());
        glViewport(0, 0, 64, 64);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        reset_frame_stats();
    }
    void TearDown() override
    {
        ModelCacheTest::TearDown(); // deletes the display lists while the context
                                    // lives
        texture_caps = saved_caps;
        if (window)
            koru_close_window(window);
    }
    static std::vector<int> pixel(int x, int y)
    {
        unsigned char rgba[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return {rgba[0], rgba[1], rgba[2]};
    }
};

TEST_F(ModelDrawTest, OrdinaryPassStopsAtTheFirstEnvironmentMesh)
{
    // One triangle, then an environment-mapped square, then a further square
    // that the ordinary pass never reaches.
    texture_generation = 6;
    put("m.km", "KM1\n" + triangle_mesh(200, 1) + square_mesh(-1, 0.5f, 1, 1, 1) + square_mesh(4, 1, 1, 1, 1));
    Model* model = get_model("@m.km");
    ASSERT_NE(model, nullptr);
    const float at[3] = {0, 0, 0};
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    draw_model(model, at);
    EXPECT_EQ(frame_stats.model_triangles, 1);
    EXPECT_EQ(frame_stats.model_vertices, 3);
    EXPECT_NE(model->display_list, 0u) << "compiled at the first draw";
    EXPECT_TRUE(glIsList(model->display_list));
    float specular[4], shininess = 0;
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_FLOAT_EQ(specular[0], 0.25f);
    EXPECT_FLOAT_EQ(specular[1], 0.5f);
    EXPECT_FLOAT_EQ(shininess, 128) << "GL takes no exponent above 128";

    reset_frame_stats();
    draw_model_env(model, at, at, identity);
    EXPECT_EQ(frame_stats.model_triangles, 2);
    EXPECT_EQ(model->next_mesh->display_list, 0u) << "without shaders the map is computed every frame";

    launch.no_vertex_arrays = 1;
    reset_frame_stats();
    draw_model(model, at);
    EXPECT_EQ(frame_stats.model_triangles, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    const uint32_t list = model->display_list;
    texture_generation = 7;
    evict_models();
    EXPECT_FALSE(glIsList(list)) << "evicting deletes the display lists";
}

TEST_F(ModelDrawTest, EnvironmentMeshDrawsInItsSpecularColourTimesBrightness)
{
    // A square over the whole view: (-1,-1)-(1,1) after the shift below.
    put("env.km", "KM1\n" + square_mesh(-1, 0.5f, 0.8f, 0.4f, 0.2f));
    Model* model = get_model("@env.km");
    ASSERT_NE(model, nullptr);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glTranslatef(-1, -1, 0);
    glScalef(2, 2, 1);
    const float eye[3] = {0, 0, 5};
    const float at[3] = {0, 0, 0};
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (bool shaders : {false, true}) {
        texture_caps.have_fragment_shader = shaders;
        glClear(GL_COLOR_BUFFER_BIT);
        draw_model_env(model, eye, at, identity);
        const std::vector<int> colour = pixel(32, 32);
        EXPECT_NEAR(colour[0], 102, 1) << "shaders " << shaders;
        EXPECT_NEAR(colour[1], 51, 1);
        EXPECT_NEAR(colour[2], 25, 1);
    }
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    draw_model(model, at);
    EXPECT_EQ(pixel(32, 32), (std::vector<int>{0, 0, 0})) << "the ordinary pass leaves it out";
}

TEST_F(ModelDrawTest, SkinnedDrawingPosesTheMeshOnlyForItsBoneCount)
{
    put("body.km", "KM2 1 body\n" + header(8, 1, 1, 1, 1, 3, 1) +
                       "0 0 0 0 0 1 0 0 1\n1 0 0 0 0 1 1 0 1\n0 1 0 0 0 1 0 1 1\n0 1 2\n");
    Model* model = get_model("@body.km");
    ASSERT_NE(model, nullptr);
    const Bone bone = {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {3, 0, 0}};
    const float at[3] = {0, 0, 0};
    draw_model_skinned(model, at, 2, &bone);
    EXPECT_FLOAT_EQ(model->positions[0], 0);
    draw_model_skinned(model, at, 1, &bone);
    EXPECT_FLOAT_EQ(model->positions[0], 3);
    EXPECT_EQ(model->display_list, 0u) << "skinned meshes change every frame";
    EXPECT_EQ(frame_stats.model_triangles, 2);
}

} // namespace
