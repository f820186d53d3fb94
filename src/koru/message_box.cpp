#include "koru/log.h"

#include <SDL.h>
#include <cstdio>
#include <cstring>

void message_box(const char* title, const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    size_t n = strlen(text);
    bool line_end = n && text[n - 1] == '\n';
    koru_log("%s: %s%s", title, text, line_end ? "" : "\n");
    // SDL opens its own connection to the display for the box; without one
    // (no X server, a console start) the text goes to standard error.
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) != 0) {
        fprintf(stderr, "%s: %s%s", title, text, line_end ? "" : "\n");
    }
}
