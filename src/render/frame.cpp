#include "render/frame.h"

#include "koru/log.h"

#include <GL/gl.h>

#include <new>

namespace {

const char* gl_text(GLenum name)
{
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "NULL"; // a string the driver does not give
}

} // namespace

void render_log_gl_strings()
{
    koru_log("GL_VENDOR: %s\n", gl_text(GL_VENDOR));
    koru_log("GL_RENDERER: %s\n", gl_text(GL_RENDERER));
    koru_log("GL_VERSION: %s\n", gl_text(GL_VERSION));
    koru_log("GL_EXTENSIONS: %s\n", gl_text(GL_EXTENSIONS));
}

void render_initial_state(bool flat_shading)
{
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.196078f, 0.6f, 0.8f, 0);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (flat_shading)
        glShadeModel(GL_FLAT);
}

void render_begin_frame(int32_t width, int32_t height)
{
    glViewport(0, 0, width, height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void render_finish()
{
    glFinish();
}

bool render_read_pixels(int32_t width, int32_t height, std::vector<unsigned char>* rgb)
{
    if (width <= 0 || height <= 0)
        return false;
    size_t size = size_t(width) * size_t(height) * 3;
    try {
        rgb->resize(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb->data());
    return true;
}
