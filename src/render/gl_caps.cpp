#include "render/gl_caps.h"

#include "assets/texture.h"
#include "koru/log.h"
#include "koru/window.h"

#include <cstring>
#include <vector>

GlCaps gl_caps = {false, false, false, false, false, 1, false, false, "NULL", "NULL", "NULL", "NULL"};
GlProcs gl_procs = {};
int32_t current_program = 0;
int32_t program_switches = 0;

namespace {

GlProgram programs[program_slot_count] = {};

const char* gl_text(GLenum name)
{
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "NULL";
}

// The texture manager sits below render, so it gets the few flags it needs
// handed down rather than reading gl_caps.
void share_texture_caps()
{
    texture_caps.have_fragment_shader = gl_caps.have_fragment_shader;
    texture_caps.texture_units = gl_caps.texture_units;
    texture_caps.have_auto_mipmap = gl_caps.have_auto_mipmap;
}

// Fetches one entry point into *slot; the first name the driver knows wins.
template <typename Proc>
bool fetch(Proc* slot, const char* name, const char* alternative = nullptr)
{
    void* proc = koru_gl_proc(name);
    if (!proc && alternative)
        proc = koru_gl_proc(alternative);
    *slot = reinterpret_cast<Proc>(proc);
    if (!proc)
        koru_log("Missing GL entry point %s\n", name);
    return proc != nullptr;
}

bool fetch_multitexture()
{
    bool ok = fetch(&gl_procs.active_texture, "glActiveTexture", "glActiveTextureARB");
    ok &= fetch(&gl_procs.client_active_texture, "glClientActiveTexture", "glClientActiveTextureARB");
    ok &= fetch(&gl_procs.multi_tex_coord_2f, "glMultiTexCoord2f", "glMultiTexCoord2fARB");
    ok &= fetch(&gl_procs.multi_tex_coord_3f, "glMultiTexCoord3f", "glMultiTexCoord3fARB");
    return ok;
}

bool fetch_fbo()
{
    bool ok = fetch(&gl_procs.gen_framebuffers, "glGenFramebuffersEXT");
    ok &= fetch(&gl_procs.delete_framebuffers, "glDeleteFramebuffersEXT");
    ok &= fetch(&gl_procs.bind_framebuffer, "glBindFramebufferEXT");
    ok &= fetch(&gl_procs.framebuffer_texture_2d, "glFramebufferTexture2DEXT");
    ok &= fetch(&gl_procs.check_framebuffer_status, "glCheckFramebufferStatusEXT");
    ok &= fetch(&gl_procs.gen_renderbuffers, "glGenRenderbuffersEXT");
    ok &= fetch(&gl_procs.delete_renderbuffers, "glDeleteRenderbuffersEXT");
    ok &= fetch(&gl_procs.bind_renderbuffer, "glBindRenderbufferEXT");
    ok &= fetch(&gl_procs.renderbuffer_storage, "glRenderbufferStorageEXT");
    ok &= fetch(&gl_procs.framebuffer_renderbuffer, "glFramebufferRenderbufferEXT");
    ok &= fetch(&gl_procs.generate_mipmap, "glGenerateMipmapEXT");
    return ok;
}

bool fetch_shader_objects()
{
    bool ok = fetch(&gl_procs.create_shader, "glCreateShader");
    ok &= fetch(&gl_procs.shader_source, "glShaderSource");
    ok &= fetch(&gl_procs.compile_shader, "glCompileShader");
    ok &= fetch(&gl_procs.get_shader_iv, "glGetShaderiv");
    ok &= fetch(&gl_procs.get_shader_info_log, "glGetShaderInfoLog");
    ok &= fetch(&gl_procs.delete_shader, "glDeleteShader");
    ok &= fetch(&gl_procs.create_program, "glCreateProgram");
    ok &= fetch(&gl_procs.attach_shader, "glAttachShader");
    ok &= fetch(&gl_procs.detach_shader, "glDetachShader");
    ok &= fetch(&gl_procs.link_program, "glLinkProgram");
    ok &= fetch(&gl_procs.get_program_iv, "glGetProgramiv");
    ok &= fetch(&gl_procs.get_program_info_log, "glGetProgramInfoLog");
    ok &= fetch(&gl_procs.delete_program, "glDeleteProgram");
    ok &= fetch(&gl_procs.use_program, "glUseProgram");
    ok &= fetch(&gl_procs.get_uniform_location, "glGetUniformLocation");
    ok &= fetch(&gl_procs.uniform_1i, "glUniform1i");
    ok &= fetch(&gl_procs.uniform_matrix_3fv, "glUniformMatrix3fv");
    return ok;
}

bool shader_procs_present()
{
    return gl_procs.create_shader && gl_procs.use_program && gl_procs.delete_program;
}

void log_info(const char* what, const char* name, const std::vector<char>& text)
{
    if (!text.empty() && text[0])
        koru_log("%s for %s:\n%s\n", what, name, text.data());
}

std::vector<char> shader_info(GLuint shader)
{
    GLint length = 0;
    gl_procs.get_shader_iv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> text(size_t(length > 0 ? length : 0) + 1, '\0');
    if (length > 0)
        gl_procs.get_shader_info_log(shader, length, nullptr, text.data());
    return text;
}

std::vector<char> program_info(GLuint program)
{
    GLint length = 0;
    gl_procs.get_program_iv(program, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> text(size_t(length > 0 ? length : 0) + 1, '\0');
    if (length > 0)
        gl_procs.get_program_info_log(program, length, nullptr, text.data());
    return text;
}

bool compile_stage(GLuint shader, const char* source, const char* what, const char* name)
{
    gl_procs.shader_source(shader, 1, &source, nullptr);
    gl_procs.compile_shader(shader);
    log_info(what, name, shader_info(shader));
    GLint compiled = GL_FALSE;
    gl_procs.get_shader_iv(shader, GL_COMPILE_STATUS, &compiled);
    return compiled == GL_TRUE;
}

void delete_objects(GlProgram* p)
{
    if (!shader_procs_present()) {
        *p = GlProgram{};
        return;
    }
    if (p->program) {
        if (p->vertex_shader)
            gl_procs.detach_shader(p->program, p->vertex_shader);
        if (p->fragment_shader)
            gl_procs.detach_shader(p->program, p->fragment_shader);
        gl_procs.delete_program(p->program);
    }
    if (p->vertex_shader)
        gl_procs.delete_shader(p->vertex_shader);
    if (p->fragment_shader)
        gl_procs.delete_shader(p->fragment_shader);
    *p = GlProgram{};
}

void bind_sampler(GLuint program, const char* sampler, GLint unit)
{
    GLint location = gl_procs.get_uniform_location(program, sampler);
    if (location != -1)
        gl_procs.uniform_1i(location, unit);
}

} // namespace

bool gl_has_extension(const char* extensions, const char* name)
{
    if (!extensions || !name || !name[0] || std::strchr(name, ' '))
        return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(extensions, name); at; at = std::strstr(at + 1, name)) {
        const bool starts = at == extensions || at[-1] == ' ';
        const bool ends = at[length] == ' ' || at[length] == '\0';
        if (starts && ends)
            return true;
    }
    return false;
}

void probe_gl()
{
    gl_caps = GlCaps{false, false, false, false, false, 1, false, false, "NULL", "NULL", "NULL", "NULL"};
    gl_procs = GlProcs{};
    if (!koru_gl_context_current()) {
        koru_log("No GL context to probe\n");
        share_texture_caps();
        return;
    }
    gl_caps.vendor = gl_text(GL_VENDOR);
    gl_caps.renderer = gl_text(GL_RENDERER);
    gl_caps.version = gl_text(GL_VERSION);
    gl_caps.extensions = gl_text(GL_EXTENSIONS);
    const char* list = gl_caps.extensions;

    gl_caps.have_auto_mipmap = gl_has_extension(list, "GL_SGIS_generate_mipmap");
    // A driver that names an extension without exporting its calls would
    // crash the first caller; such a feature counts as absent.
    gl_caps.have_fbo = gl_has_extension(list, "GL_EXT_framebuffer_object") && fetch_fbo();
    gl_caps.have_multitexture = gl_has_extension(list, "GL_ARB_multitexture") && fetch_multitexture();
    const bool fragment = gl_has_extension(list, "GL_ARB_fragment_shader");
    const bool vertex = gl_has_extension(list, "GL_ARB_vertex_shader");
    const bool shader_calls = (fragment || vertex) && fetch_shader_objects();
    gl_caps.have_fragment_shader = fragment && shader_calls;
    gl_caps.have_vertex_shader = vertex && shader_calls;

    if (gl_caps.have_multitexture) {
        GLint units = 1;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
        gl_caps.texture_units = units > 0 ? units : 1;
        koru_log("%d texture units\n", int(gl_caps.texture_units));
    }
    gl_caps.detected_fbo = gl_caps.have_fbo;
    gl_caps.detected_shader = gl_caps.have_fragment_shader && gl_caps.have_vertex_shader;
    share_texture_caps();
}

void apply_gl_config(bool ground_mipmaps, bool use_fbo, bool use_shader)
{
    if (!ground_mipmaps)
        gl_caps.have_auto_mipmap = false;
    if (!use_fbo)
        gl_caps.have_fbo = false;
    if (!use_shader) {
        gl_caps.have_fragment_shader = false;
        gl_caps.have_vertex_shader = false;
    }
    share_texture_caps();
}

bool compile_program(const ProgramSource& source, GlProgram* out)
{
    *out = GlProgram{};
    if (!shader_procs_present() || !source.vertex || !source.fragment)
        return false;
    const char* name = source.name ? source.name : "";
    GlProgram p = {};
    p.envmat_location = -2;
    p.vertex_shader = gl_procs.create_shader(GL_VERTEX_SHADER);
    p.fragment_shader = gl_procs.create_shader(GL_FRAGMENT_SHADER);
    bool ok = p.vertex_shader && p.fragment_shader;
    ok = ok && compile_stage(p.vertex_shader, source.vertex, "vertex shader status", name);
    ok = ok && compile_stage(p.fragment_shader, source.fragment, "fragment shader status", name);
    if (ok) {
        p.program = gl_procs.create_program();
        ok = p.program != 0;
    }
    if (ok) {
        gl_procs.attach_shader(p.program, p.vertex_shader);
        gl_procs.attach_shader(p.program, p.fragment_shader);
        gl_procs.link_program(p.program);
        log_info("link status", name, program_info(p.program));
        GLint linked = GL_FALSE;
        gl_procs.get_program_iv(p.program, GL_LINK_STATUS, &linked);
        ok = linked == GL_TRUE;
    }
    if (!ok) {
        delete_objects(&p);
        return false;
    }
    *out = p;
    return true;
}

int build_programs()
{
    if (!gl_caps.have_fragment_shader || !gl_caps.have_vertex_shader || !shader_procs_present())
        return 0;
    free_programs();
    bool ok = true;
    for (int slot = 1; slot < program_slot_count && ok; slot++)
        ok = compile_program(program_sources[slot - 1], &programs[slot]);
    if (!ok) {
        free_programs();
        gl_caps.have_fragment_shader = false;
        gl_caps.have_vertex_shader = false;
        share_texture_caps();
        return 0;
    }
    // Samplers default to unit 0, which is where "tex" belongs.
    for (int slot = 3; slot <= 5; slot++) {
        gl_procs.use_program(programs[slot].program);
        bind_sampler(programs[slot].program, "nmap", 1);
        if (slot == 5)
            bind_sampler(programs[slot].program, "smap", 2);
    }
    gl_procs.use_program(0);
    current_program = 0;
    return 1;
}

void use_program(int slot)
{
    if (slot < 0 || slot >= program_slot_count || slot == current_program)
        return;
    if (gl_procs.use_program)
        gl_procs.use_program(programs[slot].program);
    current_program = slot;
    program_switches++;
}

GLuint program_of(int slot)
{
    return slot >= 1 && slot < program_slot_count ? programs[slot].program : 0;
}

void set_env_matrix(const float matrix[9])
{
    for (int slot : {2, 4}) {
        GlProgram& p = programs[slot];
        if (!p.program)
            continue;
        use_program(slot);
        if (p.envmat_location == -2)
            p.envmat_location = gl_procs.get_uniform_location(p.program, "envmat");
        if (p.envmat_location != -1)
            gl_procs.uniform_matrix_3fv(p.envmat_location, 1, GL_TRUE, matrix);
    }
    use_program(0);
}

void free_programs()
{
    // A program that is still current would only be flagged for deletion.
    if (current_program != 0 && gl_procs.use_program)
        gl_procs.use_program(0);
    current_program = 0;
    for (GlProgram& p : programs)
        delete_objects(&p);
}
