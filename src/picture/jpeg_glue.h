/* Plain C boundary around the JPEG library. The library reports fatal errors
 * by a non-local jump; the jump is armed and caught inside jpeg_glue.c, so it
 * never passes through C++ frames. The C++ side sees only status codes and
 * callbacks that run between library calls (they must not call the library
 * themselves and must not throw). */
#ifndef ZEPCON_PICTURE_JPEG_GLUE_H
#define ZEPCON_PICTURE_JPEG_GLUE_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

enum ZjpegStatus {
  ZJPEG_OK = 0,
  ZJPEG_LIBRARY_ERROR = 1,  /* fatal library error; text in ZjpegResult.message */
  ZJPEG_BAD_HEADER = 2,     /* jpeg_read_header did not report a readable header */
  ZJPEG_START_FAILED = 3,   /* jpeg_start_decompress reported failure */
  ZJPEG_TOO_LARGE = 4,      /* declared size beyond the cap or beyond what the data can hold */
  ZJPEG_CALLBACK_REFUSED = 5, /* a callback returned 0 */
  ZJPEG_ROWS_FAILED = 6      /* the library delivered no row */
};

/* Colour model of the delivered components. */
enum ZjpegComponents {
  ZJPEG_GRAY = 1,
  ZJPEG_RGB = 3,
  ZJPEG_CMYK_INVERTED = 4, /* 4 components with an Adobe marker: inverted CMYK (YCCK already converted) */
  ZJPEG_FOUR_RAW = 5       /* 4 components without an Adobe marker, delivered as stored */
};

typedef struct ZjpegImageInfo {
  unsigned width;      /* output width in pixels */
  unsigned height;     /* output height in pixels */
  int components;      /* output components per pixel */
  int colour_model;    /* one of ZjpegComponents, or 0 when unusual */
} ZjpegImageInfo;

typedef struct ZjpegResult {
  int status;          /* one of ZjpegStatus */
  unsigned declared_width;  /* from the header, once read */
  unsigned declared_height;
  char message[200];   /* formatted library message for ZJPEG_LIBRARY_ERROR */
  unsigned warnings;   /* warnings the library gave (damaged data it repaired) */
  char first_warning[200];
} ZjpegResult;

/* Called once decompression has started. Returns the row buffer (at least
 * components x width bytes) to decode into, or NULL to stop. */
typedef unsigned char* (*ZjpegStartSink)(void* context, const ZjpegImageInfo* info);
/* Called with each decoded row, top first. Returns 1 to go on, 0 to stop. */
typedef int (*ZjpegRowSink)(void* context, unsigned row, const unsigned char* pixels);

/* Pixel cap for decoding: beyond it a picture is refused before anything of
 * its size is allocated. */
#define ZJPEG_MAX_PIXELS (1ULL << 27)

/* Decodes a whole stream held in memory (the C++ side reads the file). */
void ZjpegDecode(const unsigned char* memory, size_t available_bytes,
                 void* context, ZjpegStartSink on_start, ZjpegRowSink on_row,
                 ZjpegResult* result);

/* Encoder stages reported to the caller, in order. */
enum ZjpegEncodeStage {
  ZJPEG_STAGE_CREATED = 1,
  ZJPEG_STAGE_DESTINATION = 2,
  ZJPEG_STAGE_WRITING = 3,
  ZJPEG_STAGE_FINISHING = 4
};
typedef void (*ZjpegStageSink)(void* context, int stage);
/* Fills one RGB row (3 x width bytes) of the given number; 1 ok, 0 stop. */
typedef int (*ZjpegRowSource)(void* context, unsigned row, unsigned char* pixels);

/* Writes an RGB JPEG of width x height at the given quality. row_buffer holds
 * at least 3 x width bytes. */
void ZjpegEncode(FILE* file, unsigned width, unsigned height, int quality,
                 unsigned char* row_buffer, void* context, ZjpegStageSink on_stage,
                 ZjpegRowSource on_row, ZjpegResult* result);

#ifdef __cplusplus
}
#endif

#endif
