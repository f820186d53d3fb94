// GL capabilities and the shader programs, on Mesa's llvmpipe through SDL's
// offscreen video driver: real compiles and links, and pixels read back.
#include "assets/texture.h"
#include "koru/log.h"
#include "koru/window.h"
#include "render/gl_caps.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

TEST(ExtensionTest, WholeWordsOnly)
{
    struct Case {
        const char* list;
        const char* name;
        bool found;
    } const cases[] = {
        {"GL_EXT_framebuffer_object", "GL_EXT_framebuffer_object", true},
        {"GL_A GL_EXT_framebuffer_object GL_B", "GL_EXT_framebuffer_object", true},
        // first only as the start of a longer name, then as a word of its own
        {"GL_EXT_framebuffer_object_blit GL_EXT_framebuffer_object", "GL_EXT_framebuffer_object", true},
        {"GL_EXT_framebuffer_object_blit GL_EXT_framebuffer_multisample", "GL_EXT_framebuffer_object", false},
        {"XGL_EXT_framebuffer_object", "GL_EXT_framebuffer_object", false},
        {"GL_A GL_EXT_framebuffer_object ", "GL_EXT_framebuffer_object", true},
        {"GL_A\tGL_EXT_framebuffer_object", "GL_EXT_framebuffer_object", false}, // only blanks separate
        {"GL_A GL_B", "GL_A GL_B", false}, // a name with a blank never matches
        {"GL_A  GL_B", "", false},
        {"", "GL_A", false},
        {nullptr, "GL_A", false},
        {"GL_A", nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gl_has_extension(c.list, c.name), c.found)
            << (c.list ? c.list : "(null)") << " / " << (c.name ? c.name : "(null)");
}

TEST(ProbeTest, WithoutAContextEverythingStaysOff)
{
    TestHome home;
    ASSERT_FALSE(koru_gl_context_current());
    probe_gl();
    EXPECT_FALSE(gl_caps.have_fbo || gl_caps.have_multitexture || gl_caps.have_auto_mipmap ||
                 gl_caps.have_fragment_shader || gl_caps.have_vertex_shader);
    EXPECT_EQ(gl_caps.texture_units, 1);
    EXPECT_EQ(build_programs(), 0);
}

struct GlTest : ::testing::Test {
    TestHome home;
    KoruWindow* window = nullptr;

    static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }
    void SetUp() override
    {
        window = koru_open_gl_window("test", 64, 64, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr) << read_file(home.log_file());
        ASSERT_TRUE(koru_gl_context_current());
        current_program = 0;
        program_switches = 0;
        probe_gl();
    }
    void TearDown() override
    {
        free_programs();
        if (window)
            koru_close_window(window);
    }
    std::string log() { return read_file(home.log_file()); }

    // The shaders need every feature llvmpipe offers; stop early otherwise.
    void require_shaders()
    {
        ASSERT_TRUE(gl_caps.have_vertex_shader && gl_caps.have_fragment_shader) << gl_caps.extensions;
        ASSERT_TRUE(gl_caps.have_multitexture);
        ASSERT_GE(gl_caps.texture_units, 3);
    }
};

TEST_F(GlTest, ProbeFindsWhatLlvmpipeOffers)
{
    EXPECT_STRNE(gl_caps.vendor, "NULL");
    EXPECT_STRNE(gl_caps.version, "NULL");
    EXPECT_TRUE(gl_has_extension(gl_caps.extensions, "GL_ARB_multitexture"));
    EXPECT_TRUE(gl_caps.have_multitexture);
    EXPECT_TRUE(gl_caps.have_fbo);
    EXPECT_TRUE(gl_caps.have_auto_mipmap);
    EXPECT_TRUE(gl_caps.have_fragment_shader);
    EXPECT_TRUE(gl_caps.have_vertex_shader);
    EXPECT_TRUE(gl_caps.detected_fbo && gl_caps.detected_shader);
    EXPECT_NE(gl_procs.active_texture, nullptr);
    EXPECT_NE(gl_procs.bind_framebuffer, nullptr);
    EXPECT_NE(gl_procs.use_program, nullptr);
    EXPECT_NE(log().find(std::to_string(gl_caps.texture_units) + " texture units\n"), std::string::npos) << log();
    // The texture manager sees the same answers.
    EXPECT_EQ(texture_caps.texture_units, gl_caps.texture_units);
    EXPECT_EQ(texture_caps.have_fragment_shader, gl_caps.have_fragment_shader);
}

TEST_F(GlTest, ConfigurationTurnsFeaturesOffButNeverOn)
{
    struct Case {
        bool mipmaps, fbo, shader;
    } const cases[] = {{true, true, true}, {false, true, true}, {true, false, true}, {true, true, false},
                       {false, false, false}};
    for (const Case& c : cases) {
        probe_gl();
        const GlCaps found = gl_caps;
        apply_gl_config(c.mipmaps, c.fbo, c.shader);
        EXPECT_EQ(gl_caps.have_auto_mipmap, found.have_auto_mipmap && c.mipmaps);
        EXPECT_EQ(gl_caps.have_fbo, found.have_fbo && c.fbo);
        EXPECT_EQ(gl_caps.have_fragment_shader, found.have_fragment_shader && c.shader);
        EXPECT_EQ(gl_caps.have_vertex_shader, found.have_vertex_shader && c.shader);
        EXPECT_EQ(gl_caps.have_multitexture, found.have_multitexture);
        EXPECT_EQ(gl_caps.texture_units, found.texture_units);
        // The menu still learns what the driver could do.
        EXPECT_EQ(gl_caps.detected_fbo, found.detected_fbo);
        EXPECT_EQ(texture_caps.have_fragment_shader, gl_caps.have_fragment_shader);
    }
}

TEST_F(GlTest, ShadersSwitchedOffCompileNothing)
{
    apply_gl_config(true, true, false);
    EXPECT_EQ(build_programs(), 0);
    for (int slot = 0; slot < program_slot_count; slot++)
        EXPECT_EQ(program_of(slot), 0u) << slot;
    // A fresh context hands out shader and program names from 1 upwards.
    auto is_shader = reinterpret_cast<PFNGLISSHADERPROC>(koru_gl_proc("glIsShader"));
    auto is_program = reinterpret_cast<PFNGLISPROGRAMPROC>(koru_gl_proc("glIsProgram"));
    ASSERT_TRUE(is_shader && is_program);
    for (GLuint name = 1; name <= 16; name++) {
        EXPECT_FALSE(is_shader(name)) << name;
        EXPECT_FALSE(is_program(name)) << name;
    }
    EXPECT_EQ(log().find("status for"), std::string::npos) << log();
}

TEST_F(GlTest, FiveProgramsBuildWithTheirSamplers)
{
    require_shaders();
    ASSERT_EQ(build_programs(), 1) << log();
    EXPECT_EQ(program_of(0), 0u);
    EXPECT_EQ(program_of(6), 0u);
    for (int slot = 1; slot < program_slot_count; slot++) {
        EXPECT_NE(program_of(slot), 0u) << slot;
        for (int other = 1; other < slot; other++)
            EXPECT_NE(program_of(slot), program_of(other));
    }
    EXPECT_EQ(current_program, 0);
    GLint in_use = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &in_use);
    EXPECT_EQ(in_use, 0);

    auto get_uniform = reinterpret_cast<PFNGLGETUNIFORMIVPROC>(koru_gl_proc("glGetUniformiv"));
    ASSERT_NE(get_uniform, nullptr);
    struct Sampler {
        int slot;
        const char* name;
        GLint unit;
    } const samplers[] = {{1, "tex", 0}, {2, "tex", 0}, {3, "tex", 0}, {3, "nmap", 1}, {4, "nmap", 1},
                          {5, "tex", 0}, {5, "nmap", 1}, {5, "smap", 2}};
    for (const Sampler& s : samplers) {
        GLint location = gl_procs.get_uniform_location(program_of(s.slot), s.name);
        ASSERT_NE(location, -1) << s.slot << " " << s.name;
        GLint unit = -1;
        get_uniform(program_of(s.slot), location, &unit);
        EXPECT_EQ(unit, s.unit) << s.slot << " " << s.name;
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlTest, UseProgramCountsRealSwitchesOnly)
{
    require_shaders();
    ASSERT_EQ(build_programs(), 1) << log();
    struct Step {
        int slot;
        int32_t current, switches;
    } const steps[] = {
        {0, 0, 0}, // already current
        {1, 1, 1}, {1, 1, 1}, {6, 1, 1}, {-1, 1, 1}, {5, 5, 2}, {2, 2, 3}, {0, 0, 4},
    };
    for (const Step& s : steps) {
        use_program(s.slot);
        EXPECT_EQ(current_program, s.current) << s.slot;
        EXPECT_EQ(program_switches, s.switches) << s.slot;
        GLint in_use = -1;
        glGetIntegerv(GL_CURRENT_PROGRAM, &in_use);
        EXPECT_EQ(GLuint(in_use), program_of(s.current)) << s.slot;
    }
}

TEST_F(GlTest, EnvironmentMatrixReachesBothEnvironmentPrograms)
{
    require_shaders();
    ASSERT_EQ(build_programs(), 1) << log();
    const float m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9}; // row-major
    set_env_matrix(m);
    EXPECT_EQ(current_program, 0);
    auto get_uniform = reinterpret_cast<PFNGLGETUNIFORMFVPROC>(koru_gl_proc("glGetUniformfv"));
    ASSERT_NE(get_uniform, nullptr);
    for (int slot : {2, 4}) {
        GLint location = gl_procs.get_uniform_location(program_of(slot), "envmat");
        ASSERT_NE(location, -1) << slot;
        float stored[9] = {};
        get_uniform(program_of(slot), location, stored);
        // GL hands matrices back column by column.
        for (int row = 0; row < 3; row++)
            for (int column = 0; column < 3; column++)
                EXPECT_EQ(stored[column * 3 + row], m[row * 3 + column]) << slot << " " << row << column;
    }
}

TEST_F(GlTest, CompileAndLinkFailuresAreLoggedAndCleanedUp)
{
    require_shaders();
    const char* good_vertex = "#version 120\nvoid main() { gl_Position = ftransform(); }\n";
    const char* good_fragment = "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n";
    struct Case {
        ProgramSource source;
        const char* logged;
    } const cases[] = {
        {{"broken_v", "#version 120\nvoid main() { gl_Position = nonsense; }\n", good_fragment},
         "vertex shader status for broken_v:\n"},
        {{"broken_f", good_vertex, "#version 120\nvoid main() { gl_FragColor = 1.0 +; }\n"},
         "fragment shader status for broken_f:\n"},
        // a fragment stage that reads a varying the vertex stage never declares
        {{"unlinked", good_vertex, "#version 120\nvarying vec3 lost;\nvoid main() { gl_FragColor = vec4(lost, 1.0); }\n"},
         "link status for unlinked:\n"},
    };
    auto is_shader = reinterpret_cast<PFNGLISSHADERPROC>(koru_gl_proc("glIsShader"));
    for (const Case& c : cases) {
        GlProgram p = {7, 7, 7, 7};
        EXPECT_FALSE(compile_program(c.source, &p)) << c.source.name;
        EXPECT_EQ(p.program, 0u);
        EXPECT_EQ(p.vertex_shader, 0u);
        EXPECT_EQ(p.fragment_shader, 0u);
        EXPECT_NE(log().find(c.logged), std::string::npos) << log();
    }
    for (GLuint name = 1; name <= 16; name++)
        EXPECT_FALSE(is_shader(name)) << name;
    GlProgram p = {};
    ASSERT_TRUE(compile_program({"fine", good_vertex, good_fragment}, &p)) << log();
    EXPECT_NE(p.program, 0u);
    EXPECT_EQ(p.envmat_location, -2);
}

// A small quad straight ahead of an orthographic eye, drawn with one of the
// programs; the centre pixel is read back.
struct QuadTest : GlTest {
    GLuint textures[3] = {};

    GLuint one_texel(int unit, unsigned char r, unsigned char g, unsigned char b, unsigned char a)
    {
        const unsigned char texel[4] = {r, g, b, a};
        GLuint id = 0;
        glGenTextures(1, &id);
        gl_procs.active_texture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        gl_procs.active_texture(GL_TEXTURE0);
        textures[unit] = id;
        return id;
    }
    void set_scene(const float light_direction[3], const float ambient[4], float shininess, float fog_density)
    {
        glViewport(0, 0, 64, 64);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-0.01, 0.01, -0.01, 0.01, 0.5, 2);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        const float position[4] = {light_direction[0], light_direction[1], light_direction[2], 0};
        const float white[4] = {1, 1, 1, 1};
        const float black[4] = {0, 0, 0, 1};
        const float red[4] = {1, 0, 0, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        glLightfv(GL_LIGHT0, GL_AMBIENT, white);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, black);
        glLightfv(GL_LIGHT0, GL_SPECULAR, white);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
        glFogf(GL_FOG_DENSITY, fog_density);
        glFogfv(GL_FOG_COLOR, red);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void draw_quad(int slot)
    {
        use_program(slot);
        glBegin(GL_QUADS);
        glNormal3f(0, 0, 1);
        gl_procs.multi_tex_coord_3f(GL_TEXTURE1, 1, 0, 0);
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& c : corners) {
            glTexCoord2f((c[0] + 1) / 2, (c[1] + 1) / 2);
            glVertex3f(c[0] * 0.02f, c[1] * 0.02f, -1);
        }
        glEnd();
        use_program(0);
        glFinish();
    }
    void centre_pixel(unsigned char rgb[3])
    {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(32, 32, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    }
    void TearDown() override
    {
        glDeleteTextures(3, textures);
        GlTest::TearDown();
    }
};

TEST_F(QuadTest, FogDensityZeroLeavesTheColourAndMoreFadesToTheFog)
{
    require_shaders();
    ASSERT_EQ(build_programs(), 1) << log();
    one_texel(0, 255, 255, 255, 255);
    const float toward_eye[3] = {0, 0, 1};
    const float ambient[4] = {0.4f, 0.6f, 0.8f, 1};
    // The quad lies at depth 1/3 of the orthographic range, the distance
    // the fog is computed from.
    for (float density : {0.0f, 3.0f, 1000.0f}) {
        set_scene(toward_eye, ambient, 0, density);
        draw_quad(1);
        unsigned char rgb[3];
        centre_pixel(rgb);
        const double f = std::exp(-density / 3.0);
        const double red_fog[3] = {1, 0, 0};
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(rgb[i], 255 * (red_fog[i] * (1 - f) + ambient[i] * f), 1.5) << density << " " << i;
    }
}

TEST_F(QuadTest, SpecularMapAlphaPicksTheExponent)
{
    require_shaders();
    ASSERT_EQ(build_programs(), 1) << log();
    one_texel(0, 255, 255, 255, 255);
    one_texel(1, 128, 128, 255, 255); // the flat normal
    // Tilted so that the highlight of exponent 64.125 is about one half; the
    // tilt runs across the normal map's small x = y bias, which cancels.
    const double cos_tilt = std::pow(0.5, 1 / 64.125);
    const double sin_tilt = std::sqrt(1 - cos_tilt * cos_tilt) / std::sqrt(2.0);
    const float light[3] = {float(sin_tilt), float(-sin_tilt), float(cos_tilt)};
    const float black[4] = {0, 0, 0, 1};
    const float material_shininess = 1;

    // The same arithmetic on the CPU, with the texels as the GPU sees them.
    const double bias = 2 * 128 / 255.0 - 1;
    const double n_length = std::sqrt(2 * bias * bias + 1);
    const double n[3] = {bias / n_length, bias / n_length, 1 / n_length};
    const double reflected[3] = {2 * n[2] * n[0], 2 * n[2] * n[1], -1 + 2 * n[2] * n[2]}; // viewer (0, 0, -1)
    const double rdl = reflected[0] * light[0] + reflected[1] * light[1] + reflected[2] * light[2];
    struct Case {
        unsigned char alpha;
        double exponent;
    } const cases[] = {
        {128, 128 * (128 / 255.0) + 0.125}, // about one half: 64.38
        {255, material_shininess},          // a full alpha hands over to the material
        {192, 128 * (192 / 255.0) + 0.125},
    };
    for (const Case& c : cases) {
        one_texel(2, 255, 255, 255, c.alpha);
        set_scene(light, black, material_shininess, 0);
        draw_quad(5);
        unsigned char rgb[3];
        centre_pixel(rgb);
        const double expected = 255 * std::pow(rdl, c.exponent);
        EXPECT_NEAR(rgb[0], expected, 2.5) << int(c.alpha);
        EXPECT_EQ(rgb[0], rgb[2]) << int(c.alpha);
        glDeleteTextures(1, &textures[2]);
        textures[2] = 0;
    }
}

} // namespace
