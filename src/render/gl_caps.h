// The optional OpenGL features the driver offers and the configuration
// allows, the entry points beyond GL 1.1 that go with them, and the five
// GLSL programs of the lit and environment-mapped drawing paths. Slot 0 of
// the program table is the fixed-function pipeline.
#pragma once
#include <cstdint>

#include <GL/gl.h>
#include <GL/glext.h>

// Set once at start-up by probe_gl and apply_gl_config; drawing code only
// reads it. Shaders are in use when have_fragment_shader survives start-up.
struct GlCaps {
    bool have_auto_mipmap;
    bool have_fbo;
    bool have_multitexture;
    bool have_fragment_shader;
    bool have_vertex_shader;
    int32_t texture_units; // 1 without multitexture
    // What the driver offered before the configuration had its say, for
    // the graphics menu.
    bool detected_fbo;
    bool detected_shader;
    // The driver's strings, "NULL" where it gave none; they live for the run.
    const char* vendor;
    const char* renderer;
    const char* version;
    const char* extensions;
};

extern GlCaps gl_caps;

// Entry points fetched by probe_gl. A feature's flag is only left set when
// all of its entry points were found, so a set flag means they are callable.
struct GlProcs {
    // multitexture (the ARB types: gl.h already covers GL 1.3, so glext.h skips it)
    PFNGLACTIVETEXTUREARBPROC active_texture;
    PFNGLCLIENTACTIVETEXTUREARBPROC client_active_texture;
    PFNGLMULTITEXCOORD2FARBPROC multi_tex_coord_2f;
    PFNGLMULTITEXCOORD3FARBPROC multi_tex_coord_3f;
    // framebuffer objects
    PFNGLGENFRAMEBUFFERSEXTPROC gen_framebuffers;
    PFNGLDELETEFRAMEBUFFERSEXTPROC delete_framebuffers;
    PFNGLBINDFRAMEBUFFEREXTPROC bind_framebuffer;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC framebuffer_texture_2d;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC check_framebuffer_status;
    PFNGLGENRENDERBUFFERSEXTPROC gen_renderbuffers;
    PFNGLDELETERENDERBUFFERSEXTPROC delete_renderbuffers;
    PFNGLBINDRENDERBUFFEREXTPROC bind_renderbuffer;
    PFNGLRENDERBUFFERSTORAGEEXTPROC renderbuffer_storage;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC framebuffer_renderbuffer;
    PFNGLGENERATEMIPMAPEXTPROC generate_mipmap;
    // shader objects
    PFNGLCREATESHADERPROC create_shader;
    PFNGLSHADERSOURCEPROC shader_source;
    PFNGLCOMPILESHADERPROC compile_shader;
    PFNGLGETSHADERIVPROC get_shader_iv;
    PFNGLGETSHADERINFOLOGPROC get_shader_info_log;
    PFNGLDELETESHADERPROC delete_shader;
    PFNGLCREATEPROGRAMPROC create_program;
    PFNGLATTACHSHADERPROC attach_shader;
    PFNGLDETACHSHADERPROC detach_shader;
    PFNGLLINKPROGRAMPROC link_program;
    PFNGLGETPROGRAMIVPROC get_program_iv;
    PFNGLGETPROGRAMINFOLOGPROC get_program_info_log;
    PFNGLDELETEPROGRAMPROC delete_program;
    PFNGLUSEPROGRAMPROC use_program;
    PFNGLGETUNIFORMLOCATIONPROC get_uniform_location;
    PFNGLUNIFORM1IPROC uniform_1i;
    PFNGLUNIFORMMATRIX3FVPROC uniform_matrix_3fv;
};

extern GlProcs gl_procs;

// Whether name occurs in the extension list as a whole word: at the start or
// after a blank, and followed by a blank or the end. An empty name or one
// holding a blank never matches.
bool gl_has_extension(const char* extensions, const char* name);

// Reads the driver's strings, sets the capability flags and fetches the
// entry points. Needs a current context; without one every flag stays off.
void probe_gl();
// The configuration's "Yes"/"No" answers: ground_mipmaps, use_fbo and
// use_shader. A "No" clears the matching flags; nothing turns a flag on.
void apply_gl_config(bool ground_mipmaps, bool use_fbo, bool use_shader);

enum { program_slot_count = 6 };

// A program object with its two shader objects; envmat_location is -2 until
// it has been looked up.
struct GlProgram {
    GLuint program;
    GLuint vertex_shader;
    GLuint fragment_shader;
    GLint envmat_location;
};

struct ProgramSource {
    const char* name; // used in the log lines
    const char* vertex;
    const char* fragment;
};

// Slots 1-5 in order: "lit", "env", "norm_lit", "norm_env", "norm_spec_lit".
extern const ProgramSource program_sources[program_slot_count - 1];

// Compiles and links one program, logging non-empty info texts. On failure
// its objects are deleted, *out is cleared and false returned.
bool compile_program(const ProgramSource& source, GlProgram* out);

// Builds the five programs when both shader flags are set: 1 on success.
// On failure every program object is deleted and the shader flags are
// cleared, so that drawing falls back to the fixed-function paths.
int build_programs();
// Selects a slot (0: fixed function); slots outside 0-5 are ignored and the
// current slot is not selected again.
void use_program(int slot);
// The program object of slots 1-5, 0 otherwise or when none is built.
GLuint program_of(int slot);
// Row-major 3 x 3 eye-to-world rotation for the environment programs (slots
// 2 and 4); leaves slot 0 current.
void set_env_matrix(const float matrix[9]);
void free_programs();

// The slot last selected, and how many real switches were made (frame
// statistics).
extern int32_t current_program;
extern int32_t program_switches;
