// The on-screen message log: status lines that every subsystem posts, shown
// by the HUD for two seconds of game time and kept for the chat console.
#pragma once

enum { message_log_lines = 1000, message_line_length = 127 };

struct MessageLog {
    char lines[message_log_lines][message_line_length + 1];
    int next;          // ring index of the next line to write
    int visible_lines; // 0..5
    double message_expiry; // game_clock time when the visible lines go away
};

extern MessageLog message_log;
// Seconds of game time, advanced by the main loop.
extern double game_clock;

// Writes the text to the log (adding a line feed when it has none) and into
// the next ring line.
void post_message(const char* text);
void post_messagef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void clear_message_log();
