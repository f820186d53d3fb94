// The lowest layer of KORU: the time-stamped log, the KORU_OPTIONS settings,
// the millisecond clock with its precise sleep, and the modal message box.
#pragma once
#include <cstdarg>
#include <cstddef>

// printf-style log line; the caller supplies the line feed. The first call
// opens the log file; a first call of the form "KORU_LOGFILE=name" only names
// the file (the environment variable of the same name wins over it).
int koru_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
int koru_vlog(const char* format, va_list args);

// Logs "Error: <message>" and remembers the message as the last error.
void koru_error(const char* message);
const char* koru_last_error();

// Settings from KORU_OPTIONS, written as "[name:value]" groups.
int koru_option_flag(const char* name, int default_value);
int koru_option_int(const char* name, int default_value);

// Milliseconds of a monotonic clock, split into seconds and microseconds.
void koru_time(int* seconds, int* microseconds);
// Waits at least that long: a coarse sleep, then yields until the wake time.
void koru_sleep(int seconds, int microseconds);

// Formats the log stamp "[h:mm:ss.hh] " for a clock reading into out (at
// least 32 bytes).
void koru_format_stamp(char* out, size_t size, int seconds, int microseconds);

// Shows a modal message box with one OK button, or writes the text to
// standard error when no display can be opened. At most 1023 characters.
void message_box(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Test support: forget the open log file and the settings text, so that the
// next call starts over as the first call of a run would.
void koru_log_reset();
void koru_options_reset();
