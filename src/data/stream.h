// Data streams: one kind of stream over plain files, gzip files and archive
// members, and the scanf-style scanner every text format is read with.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <zlib.h>

enum { stream_in_buffer_size = 16384, stream_out_window_size = 1024 };

struct DataStream {
    FILE* file;
    int32_t base;            // offset of the data in the file
    int32_t size;            // bytes that may be delivered
    int32_t position;        // bytes delivered so far (pushback counts)
    int32_t pushback;        // one byte read ahead, -1 for none
    bool compressed;         // a gzip stream inflated on the fly
    int32_t compressed_size; // length of the compressed data
    int32_t compressed_used; // compressed bytes taken from the file so far
    bool stream_end;         // the inflater reached the end of its data
    z_stream inflater;       // raw deflate (window bits -15)
    unsigned char in_buffer[stream_in_buffer_size];
    unsigned char out_window[stream_out_window_size];
    unsigned char* out_cursor; // next byte of out_window to deliver
};

// Wraps an open file positioned at base. For a plain stream size is the
// number of bytes that may be delivered. For a compressed stream size is the
// length of the compressed data (INT32_MAX when unknown); the stream then
// delivers until the inflater ends. Reads and checks the gzip header first;
// on a bad header the file is closed and null returned.
DataStream* stream_from_file(FILE* file, int32_t base, int32_t size, bool compressed);

// A reading stream over a copy of the bytes (for text held in memory).
DataStream* data_open_memory(const void* bytes, size_t count);

void data_close(DataStream* stream);
int data_getc(DataStream* stream);
char* data_gets(DataStream* stream, char* buffer, int n);
int data_read(DataStream* stream, void* buffer, int n);
int data_scan(DataStream* stream, const char* format, ...);
int data_vscan(DataStream* stream, const char* format, va_list args);
// data_scan over a NUL-terminated text.
int data_sscan(const char* text, const char* format, ...);
bool data_seek(DataStream* stream, int32_t offset);

bool data_putc(DataStream* stream, int byte);
int data_puts(DataStream* stream, const char* text);
int data_write(DataStream* stream, const void* bytes, int n);
int data_printf(DataStream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int data_flush(DataStream* stream);
