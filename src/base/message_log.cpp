#include "base/message_log.h"

#include "koru/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

MessageLog message_log;
double game_clock = 0;

void post_message(const char* text)
{
    size_t n = strlen(text);
    if (n && text[n - 1] == '\n')
        koru_log("%s", text);
    else
        koru_log("%s\n", text);
    char* line = message_log.lines[message_log.next];
    snprintf(line, message_line_length + 1, "%s", text);
    message_log.next = (message_log.next + 1) % message_log_lines;
    if (message_log.visible_lines < 5)
        message_log.visible_lines++;
    message_log.message_expiry = game_clock + 2;
}

void post_messagef(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    post_message(text);
}

void clear_message_log()
{
    memset(&message_log, 0, sizeof message_log);
}
