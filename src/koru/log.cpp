#include "koru/log.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <string>

namespace {

struct LogState {
    bool log_started = false;
    FILE* log_file = nullptr;
    std::string last_error = "Unknown";
    bool options_read = false;
    std::string options;
};

LogState koru_state;

const char log_command[] = "KORU_LOGFILE=";

// The first line decides the file. It is formatted first, so that a command
// naming a folder with "%" in it still names the right file.
void open_log_file(const char* line)
{
    const char* env = getenv("KORU_LOGFILE");
    const char* name = env;
    if (strncmp(line, log_command, sizeof log_command - 1) == 0 && !env)
        name = line + sizeof log_command - 1;
    koru_state.log_started = true;
    if (!name)
        return;
    const char* mode = "w";
    if (strncmp(name, ">>", 2) == 0) {
        mode = "a";
        name += 2;
    } else if (name[0] == '>') {
        name += 1;
    }
    koru_state.log_file = fopen(name, mode);
    koru_log("Logfile \"%s\" opened\n", name);
    koru_log("KORU 0.31\n");
}

const std::string& options_text()
{
    if (!koru_state.options_read) {
        const char* env = getenv("KORU_OPTIONS");
        koru_state.options = env ? env : "";
        koru_state.options_read = true;
    }
    return koru_state.options;
}

// Returns the text right after "[name:" in the settings, or null.
const char* find_option(const char* name)
{
    std::string key = "[";
    key.append(name, strnlen(name, 60));
    key += ":";
    const std::string& text = options_text();
    size_t at = text.find(key);
    if (at == std::string::npos)
        return nullptr;
    return text.c_str() + at + key.size();
}

int32_t clock_ms()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t ms = int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    // The up-time while it fits comfortably in 31 bits; on a machine up for
    // more than about twelve days the clock counts from the first reading
    // instead, so that it stays positive and never wraps during a run.
    static const int64_t epoch = ms < (int64_t(1) << 30) ? 0 : ms;
    return int32_t(ms - epoch);
}

int64_t clock_ns()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

void koru_format_stamp(char* out, size_t size, int s, int us)
{
    int hours = s / 3600;
    int minutes = s / 60 - hours * 60;
    snprintf(out, size, "[%d:%02d:%02d.%02d] ", hours, minutes, s % 60, us / 10000);
}

int koru_vlog(const char* format, va_list args)
{
    if (!koru_state.log_started) {
        char line[2048];
        va_list copy;
        va_copy(copy, args);
        vsnprintf(line, sizeof line, format, copy);
        va_end(copy);
        open_log_file(line);
        if (strncmp(line, log_command, sizeof log_command - 1) == 0)
            return 0;
    }
    if (!koru_state.log_file)
        return 0;
    int s, us;
    koru_time(&s, &us);
    char stamp[48];
    koru_format_stamp(stamp, sizeof stamp, s, us);
    fputs(stamp, koru_state.log_file);
    int n = vfprintf(koru_state.log_file, format, args);
    fflush(koru_state.log_file);
    return n;
}

int koru_log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = koru_vlog(format, args);
    va_end(args);
    return n;
}

void koru_error(const char* message)
{
    koru_log("Error: %s\n", message);
    koru_state.last_error = message;
}

const char* koru_last_error()
{
    return koru_state.last_error.c_str();
}

int koru_option_flag(const char* name, int default_value)
{
    const char* value = find_option(name);
    if (!value)
        return default_value;
    if (strncmp(value, "yes]", 4) == 0 || strncmp(value, "on]", 3) == 0)
        return 1;
    if (strncmp(value, "no]", 3) == 0 || strncmp(value, "off]", 4) == 0)
        return 0;
    koru_log("unrecognized setting for %s\n", name);
    return default_value;
}

int koru_option_int(const char* name, int default_value)
{
    const char* value = find_option(name);
    if (!value)
        return default_value;
    const char* p = value;
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9') {
        koru_log("unrecognized setting for %s\n", name);
        return default_value;
    }
    int n = 0;
    while (*p >= '0' && *p <= '9')
        n = n * 10 + (*p++ - '0');
    return negative ? -n : n;
}

void koru_time(int* seconds, int* microseconds)
{
    int32_t ms = clock_ms();
    if (seconds)
        *seconds = ms / 1000;
    if (microseconds)
        *microseconds = (ms % 1000) * 1000;
}

void koru_sleep(int seconds, int microseconds)
{
    // The wake time is kept at full resolution of the same monotonic clock:
    // the millisecond reading alone could end a 500 µs wait at once.
    int64_t wake = clock_ns() + (int64_t(seconds) * 1000000 + microseconds) * 1000;
    int64_t ms = int64_t(seconds) * 1000 + microseconds / 1000;
    if (ms > 1)
        ms -= 1;
    timespec coarse = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
    nanosleep(&coarse, nullptr);
    while (clock_ns() < wake)
        sched_yield();
}

void koru_log_reset()
{
    if (koru_state.log_file)
        fclose(koru_state.log_file);
    koru_state.log_file = nullptr;
    koru_state.log_started = false;
}

void koru_options_reset()
{
    koru_state.options_read = false;
    koru_state.options.clear();
}
