#include "koru/window.h"

#include "koru/input.h"
#include "koru/log.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

namespace {

bool video_ready()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    // The game installs its own SIGINT and SIGTERM handlers, and one window
    // closing is a request to the game, not the end of the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        koru_log("Can't open the display (%s)\n", SDL_GetError());
        return false;
    }
    // The GL driver stays loaded for the run, not just while a window is
    // open: closing and reopening the window (video mode changes, tests)
    // then never reloads it.
    SDL_GL_LoadLibrary(nullptr);
    return true;
}

bool usable_depth(int depth)
{
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

KoruDisplayMode mode_of(const SDL_DisplayMode& m)
{
    return {m.w, m.h, int32_t(SDL_BITSPERPIXEL(m.format)), m.refresh_rate};
}

std::vector<KoruDisplayMode> build_mode_list()
{
    std::vector<KoruDisplayMode> modes;
    if (!video_ready())
        return modes;
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
        KoruDisplayMode m = mode_of(desktop);
        bool kept = m.width > 0 && usable_depth(m.depth);
        koru_log("Registry mode is %dx%dx%d@%dhz%s\n", m.width, m.height, m.depth, m.refresh, kept ? "" : " (ignored)");
        if (kept)
            modes.push_back(m);
    }
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode listed;
        if (SDL_GetDisplayMode(0, i, &listed) != 0)
            break;
        KoruDisplayMode m = mode_of(listed);
        if (m.width == 0 || m.height == 0)
            break; // a zero entry ends the list
        bool kept = usable_depth(m.depth);
        for (const KoruDisplayMode& seen : modes)
            if (seen.width == m.width && seen.height == m.height && seen.depth == m.depth)
                kept = false;
        koru_log("Found mode %dx%dx%d@%dhz%s\n", m.width, m.height, m.depth, m.refresh, kept ? "" : " (ignored)");
        if (kept)
            modes.push_back(m);
    }
    return modes;
}

KoruDisplayMode desktop_mode()
{
    const std::vector<KoruDisplayMode>& modes = koru_display_modes();
    SDL_DisplayMode desktop;
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0)
        return mode_of(desktop);
    if (!modes.empty())
        return modes[0];
    return {640, 480, 32, 0};
}

SDL_Window* sdl_window_of(const KoruWindow* window)
{
    return static_cast<SDL_Window*>(window->sdl_window);
}

// Full screen in the mode nearest the request; false when the display
// refuses it, and the window stays as it was.
bool enter_fullscreen(KoruWindow* window, int32_t width, int32_t height)
{
    SDL_Window* w = sdl_window_of(window);
    KoruDisplayMode chosen = koru_choose_fullscreen_mode(koru_display_modes(), width, height);
    SDL_DisplayMode mode = {};
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0)
        mode = desktop; // colour depth unchanged
    mode.w = chosen.width;
    mode.h = chosen.height;
    mode.refresh_rate = 0;
    if (SDL_SetWindowDisplayMode(w, &mode) != 0 || SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN) != 0) {
        koru_log("Can't switch to %dx%d full screen (%s), staying in a window\n", chosen.width, chosen.height,
                 SDL_GetError());
        SDL_SetWindowFullscreen(w, 0);
        return false;
    }
    window->fullscreen_active = true;
    window->fullscreen_width = chosen.width;
    window->fullscreen_height = chosen.height;
    return true;
}

void enter_window(KoruWindow* window, int32_t width, int32_t height)
{
    SDL_Window* w = sdl_window_of(window);
    if (width == 0 || height == 0) {
        KoruDisplayMode desktop = desktop_mode();
        width = desktop.width;
        height = desktop.height;
    }
    SDL_SetWindowFullscreen(w, 0);
    SDL_SetWindowSize(w, width, height);
    window->fullscreen_active = false;
    window->client_width = width;
    window->client_height = height;
}

void set_gl_attributes(int colour_depth, int alpha_bits, int depth_bits, int stencil_bits, int accumulation_bits)
{
    int bits = colour_depth == 32 ? 24 : colour_depth;
    int per_channel = bits >= 24 ? 8 : bits >= 15 ? 5 : bits >= 8 ? 2 : 1;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, per_channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, per_channel);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, per_channel);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil_bits);
    int accumulation = accumulation_bits / 4;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

void destroy_window(KoruWindow* window)
{
    if (window->devices) {
        koru_log("Closing input devices\n");
        koru_close_devices(window);
    }
    if (window->sdl_window) {
        koru_log("Destroying window\n");
        // Leaving full screen first gives the desktop its own mode back.
        SDL_SetWindowFullscreen(sdl_window_of(window), 0);
        SDL_DestroyWindow(sdl_window_of(window));
        window->sdl_window = nullptr;
    }
    koru_log("Window shutdown complete\n");
    free(window->title);
    delete window;
}

// SDL stamps its events in milliseconds since it started; the input layer
// counts on the program's own clock.
struct ClockOffset {
    int64_t koru_minus_sdl_ms;
};

ClockOffset clock_offset()
{
    int s, us;
    koru_time(&s, &us);
    int64_t now_ms = int64_t(s) * 1000 + us / 1000;
    return {now_ms - int64_t(SDL_GetTicks64())};
}

void post_at(KoruWindow* window, ClockOffset offset, uint32_t sdl_time, int32_t code, bool pressed)
{
    int64_t ms = int64_t(sdl_time) + offset.koru_minus_sdl_ms;
    koru_post_event(window, code, pressed, int32_t(ms / 1000), int32_t(ms % 1000) * 1000);
}

// Keys that also type a control character, as a desktop text field expects.
int control_character(SDL_Scancode key)
{
    switch (key) {
    case SDL_SCANCODE_BACKSPACE:
        return 8;
    case SDL_SCANCODE_TAB:
        return 9;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
        return 13;
    case SDL_SCANCODE_ESCAPE:
        return 27;
    case SDL_SCANCODE_DELETE:
        return 127;
    default:
        return -1;
    }
}

// Typed text arrives as UTF-8; characters are the Latin-1 code points.
void post_text(KoruWindow* window, ClockOffset offset, uint32_t time, const char* text)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t c = *p++;
        int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
        if (c >= 0x80 && c < 0xc0)
            continue; // a stray continuation byte
        c &= extra == 3 ? 0x07 : extra == 2 ? 0x0f : extra == 1 ? 0x1f : 0x7f;
        for (; extra > 0 && (*p & 0xc0) == 0x80; extra--)
            c = (c << 6) | (*p++ & 0x3f);
        if (extra == 0 && c < 256 && c >= 32)
            post_at(window, offset, time, int32_t(c), true);
    }
}

void window_event(KoruWindow* window, const SDL_WindowEvent& e)
{
    switch (e.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        std::lock_guard<std::mutex> hold(window->window_lock);
        window->client_width = e.data1;
        window->client_height = e.data2;
        koru_log("WM_SIZE message %dx%d\n", e.data1, e.data2);
        break;
    }
    case SDL_WINDOWEVENT_MINIMIZED:
        window->minimised = true;
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
        window->minimised = false;
        break;
    case SDL_WINDOWEVENT_HIDDEN:
        window->hidden = true;
        break;
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
        window->hidden = false;
        break;
    case SDL_WINDOWEVENT_CLOSE:
        koru_post_event_now(window, key_code_close, true);
        break;
    default:
        // Losing the focus in full screen gives the desktop its mode back
        // and minimises the window; SDL does both, and returning restores
        // the game's mode.
        break;
    }
}

} // namespace

const std::vector<KoruDisplayMode>& koru_display_modes()
{
    static const std::vector<KoruDisplayMode> modes = build_mode_list();
    return modes;
}

KoruDisplayMode koru_choose_fullscreen_mode(const std::vector<KoruDisplayMode>& modes, int32_t w, int32_t h)
{
    KoruDisplayMode desktop = modes.empty() ? KoruDisplayMode{640, 480, 32, 0} : modes[0];
    if (w == 0 || h == 0)
        return desktop;
    const KoruDisplayMode* best = nullptr;
    for (const KoruDisplayMode& m : modes)
        if (m.width >= w && m.height >= h && (!best || m.width + m.height < best->width + best->height))
            best = &m;
    return best ? *best : desktop;
}

KoruWindow* koru_open_gl_window(const char* title, int32_t width, int32_t height, int32_t flags, int alpha_bits,
                                int depth_bits, int stencil_bits, int accumulation_bits)
{
    koru_display_modes();
    static bool options_logged = false;
    static bool threaded = false;
    if (!options_logged) {
        // Read and logged; SDL wants its events pumped on the thread that
        // made the window, so messages are always handled here.
        threaded = koru_option_flag("threaded", 0) != 0;
        koru_log("Options:\n");
        koru_log("%10s [%s]\n", "threaded:", threaded ? "on" : "off");
        options_logged = true;
    }
    // The system timer needs no raising here: the clock and the sleep
    // already work in nanoseconds.
    if (!video_ready()) {
        koru_error("Can't create window!");
        return nullptr;
    }

    KoruWindow* window = new KoruWindow{};
    window->title = strdup(title ? title : "");
    window->colour_depth = flags & koru_depth_mask;
    window->threaded = threaded;
    bool fullscreen = (flags & koru_fullscreen) != 0;
    if (width == 0 || height == 0) {
        KoruDisplayMode desktop = desktop_mode();
        width = desktop.width;
        height = desktop.height;
    }
    window->client_width = width;
    window->client_height = height;

    set_gl_attributes(window->colour_depth, alpha_bits, depth_bits, stencil_bits, accumulation_bits);
    koru_log("Creating window\n");
    SDL_Window* w = SDL_CreateWindow(window->title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (!w) {
        koru_log("SDL: %s\n", SDL_GetError());
        koru_error("Can't create window!");
        destroy_window(window);
        return nullptr;
    }
    window->sdl_window = w;
    if (fullscreen)
        enter_fullscreen(window, width, height);
    SDL_ShowWindow(w);
    SDL_RaiseWindow(w);

    koru_open_devices(window);
    koru_alias("cursor-left", "Mouse Left");
    koru_alias("cursor-middle", "Mouse Middle");
    koru_alias("cursor-right", "Mouse Right");

    koru_log("Creating OpenGL context\n");
    SDL_GLContext context = SDL_GL_CreateContext(w);
    if (!context || SDL_GL_MakeCurrent(w, context) != 0) {
        koru_log("SDL: %s\n", SDL_GetError());
        koru_log("Couldn't create OpenGL context\n");
        if (context)
            SDL_GL_DeleteContext(context);
        destroy_window(window);
        return nullptr;
    }
    window->gl_context = context;
    koru_pump_messages(window);
    return window;
}

const KoruRect* koru_begin_draw(KoruWindow* window)
{
    if (!window || !window->gl_context || window->busy || window->closing)
        return nullptr;
    uint32_t state = SDL_GetWindowFlags(sdl_window_of(window));
    if (window->minimised || window->hidden || (state & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)))
        return nullptr;
    window->window_lock.lock();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(sdl_window_of(window), &w, &h);
    if (w <= 0 || h <= 0) {
        window->window_lock.unlock();
        return nullptr; // nothing visible
    }
    window->draw_rect = {0, 0, w, h};
    return &window->draw_rect;
}

bool koru_end_draw(KoruWindow* window)
{
    if (!window || !window->sdl_window || !window->gl_context)
        return false;
    SDL_GL_SwapWindow(sdl_window_of(window));
    window->window_lock.unlock();
    return !window->closing;
}

void koru_set_display(KoruWindow* window, int32_t width, int32_t height, int32_t flags)
{
    if (!window || !window->sdl_window)
        return;
    window->busy = true;
    if (!(flags & koru_fullscreen) || !enter_fullscreen(window, width, height))
        enter_window(window, width, height);
    window->busy = false;
}

void koru_close_window(KoruWindow* window)
{
    if (!window)
        return;
    window->closing = true;
    if (window->gl_context) {
        koru_log("Deleting OpenGL context\n");
        SDL_GL_MakeCurrent(sdl_window_of(window), nullptr);
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(window->gl_context));
        window->gl_context = nullptr;
    }
    destroy_window(window);
}

void koru_pump_messages(KoruWindow* window)
{
    if (!window || !window->sdl_window)
        return;
    ClockOffset offset = clock_offset();
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (window->closing)
            continue;
        switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            int32_t code = koru_key_code_for_scancode(e.key.keysym.scancode);
            bool pressed = e.type == SDL_KEYDOWN;
            if (code)
                post_at(window, offset, e.key.timestamp, code, pressed);
            int c = control_character(e.key.keysym.scancode);
            if (pressed && c >= 0)
                post_at(window, offset, e.key.timestamp, c, true);
            break;
        }
        case SDL_TEXTINPUT:
            post_text(window, offset, e.text.timestamp, e.text.text);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            int32_t code = e.button.button == SDL_BUTTON_LEFT     ? key_code_mouse_left
                           : e.button.button == SDL_BUTTON_MIDDLE ? key_code_mouse_middle
                           : e.button.button == SDL_BUTTON_RIGHT  ? key_code_mouse_right
                                                                  : 0;
            if (code)
                post_at(window, offset, e.button.timestamp, code, e.type == SDL_MOUSEBUTTONDOWN);
            break;
        }
        case SDL_WINDOWEVENT:
            window_event(window, e.window);
            break;
        case SDL_QUIT: // the desktop asks the program to end
            koru_post_event_now(window, key_code_close, true);
            break;
        default:
            break;
        }
    }
}

bool koru_gl_context_current()
{
    return SDL_WasInit(SDL_INIT_VIDEO) && SDL_GL_GetCurrentContext() != nullptr;
}

void* koru_gl_proc(const char* name)
{
    return SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GL_GetProcAddress(name) : nullptr;
}
