#include "data/stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

enum : unsigned char {
    gzip_flag_hcrc = 2,
    gzip_flag_extra = 4,
    gzip_flag_name = 8,
    gzip_flag_comment = 16,
};

// Walks the gzip header at the start of the first input block and returns the
// offset of the deflate data, or -1 when the header is not one we accept.
// Everything must lie inside the block: a header that runs past it is treated
// as damaged rather than read further from the file.
int gzip_header_length(const unsigned char* in, int count)
{
    if (count < 10)
        return -1;
    if (in[0] != 31 || in[1] != 139 || in[2] != 8 || in[3] >= 32)
        return -1;
    unsigned char flags = in[3];
    int at = 10;
    if (flags & gzip_flag_extra) {
        if (count - at < 2)
            return -1;
        int length = in[at] | (in[at + 1] << 8);
        at += 2;
        if (count - at < length)
            return -1;
        at += length;
    }
    for (unsigned char flag : {gzip_flag_name, gzip_flag_comment}) {
        if (!(flags & flag))
            continue;
        const void* nul = at < count ? std::memchr(in + at, 0, size_t(count - at)) : nullptr;
        if (!nul)
            return -1;
        at = int(static_cast<const unsigned char*>(nul) - in) + 1;
    }
    if (flags & gzip_flag_hcrc) {
        if (count - at < 2)
            return -1;
        at += 2;
    }
    return at;
}

bool start_inflater(DataStream* s)
{
    int want = std::min<int32_t>(stream_in_buffer_size, std::max<int32_t>(s->compressed_size, 0));
    int got = want > 0 ? int(std::fread(s->in_buffer, 1, size_t(want), s->file)) : 0;
    s->compressed_used = got;
    int header = gzip_header_length(s->in_buffer, got);
    if (header < 0)
        return false;
    s->inflater.zalloc = Z_NULL;
    s->inflater.zfree = Z_NULL;
    s->inflater.opaque = Z_NULL;
    s->inflater.next_in = s->in_buffer + header;
    s->inflater.avail_in = uInt(got - header);
    if (inflateInit2(&s->inflater, -15) != Z_OK)
        return false;
    s->out_cursor = s->out_window;
    s->inflater.next_out = s->out_window;
    s->inflater.avail_out = stream_out_window_size;
    return true;
}

// Fills the rest of the output window. Any inflater complaint or a lack of
// further input ends the stream: whatever was inflated stays deliverable.
void fill_window(DataStream* s)
{
    z_stream& z = s->inflater;
    while (z.avail_out > 0) {
        if (z.avail_in == 0) {
            int32_t left = s->compressed_size - s->compressed_used;
            int want = std::min<int32_t>(stream_in_buffer_size, std::max<int32_t>(left, 0));
            int got = want > 0 ? int(std::fread(s->in_buffer, 1, size_t(want), s->file)) : 0;
            if (got <= 0) {
                s->stream_end = true;
                return;
            }
            s->compressed_used += got;
            z.next_in = s->in_buffer;
            z.avail_in = uInt(got);
        }
        int result = inflate(&z, Z_NO_FLUSH);
        if (result != Z_OK) {
            s->stream_end = true;
            return;
        }
    }
}

int inflate_read(DataStream* s, unsigned char* out, int n)
{
    int done = 0;
    for (;;) {
        int ready = int(s->inflater.next_out - s->out_cursor);
        int take = std::min(ready, n - done);
        if (take > 0) {
            std::memcpy(out + done, s->out_cursor, size_t(take));
            s->out_cursor += take;
            done += take;
        }
        if (done == n || s->stream_end)
            return done;
        if (s->out_cursor == s->inflater.next_out && s->inflater.avail_out == 0) {
            s->out_cursor = s->out_window;
            s->inflater.next_out = s->out_window;
            s->inflater.avail_out = stream_out_window_size;
        }
        fill_window(s);
    }
}

bool writable(const DataStream* s)
{
    return s && s->file && !s->compressed;
}

} // namespace

DataStream* stream_from_file(FILE* file, int32_t base, int32_t size, bool compressed)
{
    if (!file)
        return nullptr;
    DataStream* s = static_cast<DataStream*>(std::calloc(1, sizeof(DataStream)));
    if (!s) {
        std::fclose(file);
        return nullptr;
    }
    s->file = file;
    s->base = base;
    s->pushback = -1;
    s->out_cursor = s->out_window;
    // Openers normally hand the file over already at base; make sure, since
    // every later read and seek is relative to it.
    if (std::ftell(file) != long(base))
        std::fseek(file, long(base), SEEK_SET);
    if (!compressed) {
        s->size = size;
        return s;
    }
    s->compressed = true;
    s->size = INT32_MAX;
    s->compressed_size = size;
    if (!start_inflater(s)) {
        std::fclose(file);
        std::free(s);
        return nullptr;
    }
    return s;
}

DataStream* data_open_memory(const void* bytes, size_t count)
{
    if (count > size_t(INT32_MAX) || (!bytes && count > 0))
        return nullptr;
    // With a null buffer fmemopen owns its storage and frees it on fclose,
    // so the stream needs nothing beyond the ordinary close.
    FILE* file = fmemopen(nullptr, count + 1, "w+b");
    if (!file)
        return nullptr;
    if (count > 0 && std::fwrite(bytes, 1, count, file) != count) {
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return stream_from_file(file, 0, int32_t(count), false);
}

void data_close(DataStream* stream)
{
    if (!stream)
        return;
    if (stream->compressed)
        inflateEnd(&stream->inflater);
    if (stream->file)
        std::fclose(stream->file);
    std::free(stream);
}

int data_getc(DataStream* stream)
{
    if (!stream)
        return -1;
    if (stream->pushback >= 0) {
        int c = stream->pushback;
        stream->pushback = -1;
        return c;
    }
    if (stream->position >= stream->size)
        return -1;
    int c;
    if (stream->compressed) {
        unsigned char byte;
        if (inflate_read(stream, &byte, 1) != 1)
            return -1;
        c = byte;
    } else {
        c = std::getc(stream->file);
        if (c == EOF)
            return -1;
    }
    stream->position++;
    return c;
}

char* data_gets(DataStream* stream, char* buffer, int n)
{
    if (!stream || !buffer || n <= 0)
        return nullptr;
    int stored = 0;
    int c = 0;
    while (stored < n - 1) {
        c = data_getc(stream);
        if (c < 0)
            break;
        buffer[stored++] = char(c);
        if (c == '\n')
            break;
    }
    buffer[stored] = '\0';
    if (stored == 0 && c < 0)
        return nullptr;
    return buffer;
}

int data_read(DataStream* stream, void* buffer, int n)
{
    if (!stream || !buffer || n <= 0)
        return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int done = 0;
    if (stream->pushback >= 0) {
        out[done++] = static_cast<unsigned char>(stream->pushback);
        stream->pushback = -1;
    }
    int want = std::min<int32_t>(n - done, std::max<int32_t>(stream->size - stream->position, 0));
    if (want > 0) {
        int got = stream->compressed ? inflate_read(stream, out + done, want)
                                     : int(std::fread(out + done, 1, size_t(want), stream->file));
        stream->position += got;
        done += got;
    }
    return done;
}

bool data_seek(DataStream* stream, int32_t offset)
{
    if (!stream || stream->compressed || offset < 0 || offset >= stream->size)
        return false;
    if (std::fseek(stream->file, long(stream->base) + long(offset), SEEK_SET) != 0)
        return false;
    stream->position = offset;
    stream->pushback = -1;
    return true;
}

bool data_putc(DataStream* stream, int byte)
{
    return writable(stream) && std::fputc(byte, stream->file) != EOF;
}

int data_puts(DataStream* stream, const char* text)
{
    if (!writable(stream) || !text)
        return -1;
    return std::fputs(text, stream->file);
}

int data_write(DataStream* stream, const void* bytes, int n)
{
    if (!writable(stream) || !bytes || n <= 0)
        return 0;
    return int(std::fwrite(bytes, 1, size_t(n), stream->file));
}

int data_printf(DataStream* stream, const char* format, ...)
{
    if (!writable(stream) || !format)
        return -1;
    va_list args;
    va_start(args, format);
    int result = std::vfprintf(stream->file, format, args);
    va_end(args);
    return result;
}

int data_flush(DataStream* stream)
{
    if (!writable(stream))
        return -1;
    return std::fflush(stream->file);
}
