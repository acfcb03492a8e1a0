/* Plain C boundary around the PNG library. The library reports fatal errors
 * by a non-local jump; the jump is armed and caught inside png_glue.c, so it
 * never passes through C++ frames. The C++ side sees only status codes and
 * callbacks that run between library calls (they must not call the library
 * themselves and must not throw). */
#ifndef ZEPCON_PICTURE_PNG_GLUE_H
#define ZEPCON_PICTURE_PNG_GLUE_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

enum ZpngStatus {
  ZPNG_OK = 0,
  ZPNG_LIBRARY_ERROR = 1,     /* fatal library error; text in ZpngResult.message */
  ZPNG_NOT_PNG = 2,           /* the signature is missing */
  ZPNG_TOO_LARGE = 3,         /* declared size beyond the cap or beyond what the data can hold */
  ZPNG_CALLBACK_REFUSED = 4,  /* a callback returned 0 or NULL */
  ZPNG_UNSUPPORTED = 5        /* a colour type or depth the library cannot deliver as 8 bits */
};

/* What the decoder delivers: 8 bits per channel, one byte per palette index. */
enum ZpngLayout {
  ZPNG_GRAY = 1,        /* gray */
  ZPNG_GRAY_ALPHA = 2,  /* gray, alpha */
  ZPNG_RGB = 3,         /* red, green, blue */
  ZPNG_RGBA = 4,        /* red, green, blue, alpha */
  ZPNG_PALETTE = 5      /* palette index; the palette is in ZpngImageInfo */
};

typedef struct ZpngImageInfo {
  unsigned width;
  unsigned height;
  int layout;                   /* one of ZpngLayout */
  size_t row_bytes;             /* bytes of one delivered row */
  int interlaced;               /* 1: the rows arrive in seven passes */
  int file_bit_depth;           /* as stored in the file */
  int file_colour_type;         /* as stored in the file */
  int linear_light;             /* 1: 8-bit linear samples (gamma 1.0), left for the caller to
                                   encode; 16-bit ones arrive encoded already */
  int palette_entries;          /* for ZPNG_PALETTE: entries the file holds */
  unsigned char palette[256][4]; /* red, green, blue, alpha (from tRNS, else 255) */
} ZpngImageInfo;

typedef struct ZpngResult {
  int status;                /* one of ZpngStatus */
  unsigned declared_width;   /* from the header, once read */
  unsigned declared_height;
  int rows_complete;         /* 1 once every pass of every row was delivered */
  char message[200];         /* library message for ZPNG_LIBRARY_ERROR */
  unsigned warnings;         /* warnings the library gave */
  char first_warning[200];
  char end_error[200];       /* a fatal error after the last row (pixels kept) */
} ZpngResult;

/* Called once the header is read. Returns a row buffer of at least
 * info->row_bytes bytes, or NULL to stop. */
typedef unsigned char* (*ZpngStartSink)(void* context, const ZpngImageInfo* info);
/* Interlaced pictures only: fills the row buffer with the row's pixels so
 * far, before the library adds a pass's pixels to it. 1 ok, 0 stop. */
typedef int (*ZpngRowFetch)(void* context, unsigned row, unsigned char* pixels);
/* Called with each delivered row (per pass when interlaced). 1 ok, 0 stop. */
typedef int (*ZpngRowSink)(void* context, unsigned row, const unsigned char* pixels);

/* Pixel cap for decoding: beyond it a picture is refused before anything of
 * its size is allocated. */
#define ZPNG_MAX_PIXELS (1ULL << 27)

/* Decodes a whole file held in memory (the C++ side reads the file). */
void ZpngDecode(const unsigned char* memory, size_t available_bytes, void* context, ZpngStartSink on_start,
                ZpngRowFetch on_fetch, ZpngRowSink on_row, ZpngResult* result);

/* Fills one row of width x channels bytes; 1 ok, 0 stop. */
typedef int (*ZpngRowSource)(void* context, unsigned row, unsigned char* pixels);

typedef struct ZpngWriteInfo {
  unsigned width;
  unsigned height;
  int layout;                    /* one of ZpngLayout */
  int palette_entries;           /* for ZPNG_PALETTE: 1..256 */
  int transparent_entries;       /* for ZPNG_PALETTE: entries written to tRNS (0: none) */
  unsigned char palette[256][4]; /* red, green, blue, alpha */
} ZpngWriteInfo;

/* Writes a PNG to the file; row_buffer holds at least width x channels
 * bytes (one byte per pixel for ZPNG_PALETTE). */
void ZpngEncode(FILE* file, const ZpngWriteInfo* info, unsigned char* row_buffer, void* context,
                ZpngRowSource on_row, ZpngResult* result);

#ifdef __cplusplus
}
#endif

#endif
