/* The PNG library reports a fatal error by calling the error function, which
 * must not return. Ours jumps back to the function that armed it, which
 * destroys the library objects and returns a status. Nothing but plain C
 * data lives in the frames that the jump leaves. */
#include "picture/png_glue.h"

#include <png.h>
#include <math.h>
#include <setjmp.h>
#include <stdint.h>
#include <string.h>

/* Deflate expands one byte into at most 1,032; a picture whose unpacked
 * pixels need more than that of the whole file cannot be in it. */
#define ZPNG_MAX_INFLATE_RATIO 1032u

typedef struct GlueState {
  ZpngResult* result;
  const unsigned char* memory; /* the file, when reading */
  size_t size;
  size_t position;
} GlueState;

static void CopyText(char* destination, size_t capacity, const char* text) {
  snprintf(destination, capacity, "%s", text ? text : "");
}

static void GlueError(png_structp png, png_const_charp message) {
  GlueState* state = (GlueState*)png_get_error_ptr(png);
  CopyText(state->result->message, sizeof(state->result->message), message);
  state->result->status = ZPNG_LIBRARY_ERROR;
  png_longjmp(png, 1);
}

/* Warnings are counted for the caller's log instead of going to stderr. */
static void GlueWarning(png_structp png, png_const_charp message) {
  GlueState* state = (GlueState*)png_get_error_ptr(png);
  if (state->result->warnings++ == 0)
    CopyText(state->result->first_warning, sizeof(state->result->first_warning), message);
}

/* The library reads only the bytes handed in; running out of them is a
 * fatal error (a file cut short). */
static void GlueRead(png_structp png, png_bytep destination, size_t length) {
  GlueState* state = (GlueState*)png_get_io_ptr(png);
  if (length > state->size - state->position) png_error(png, "file is cut short");
  memcpy(destination, state->memory + state->position, length);
  state->position += length;
}

/* Linear-light 16-bit samples to 8 bits encoded with the sRGB curve, from
 * all their bits (the curve is steep near black); alpha is only scaled. */
static unsigned char EncodeLinear16(unsigned sample) {
  const double quantum = (double)sample;
  double encoded = quantum <= 0.0031306684425005883 * 65535.0
                       ? 12.92 * quantum
                       : 65535.0 * (1.055 * pow(quantum / 65535.0, 1.0 / 2.4) - 0.055);
  unsigned rounded;
  if (encoded < 0.0) encoded = 0.0;
  if (encoded > 65535.0) encoded = 65535.0;
  rounded = (unsigned)(encoded + 0.5);
  return (unsigned char)((rounded + 128u - ((rounded + 128u) >> 8)) >> 8);
}

static void LinearSixteenToEight(png_structp png, png_row_infop row, png_bytep data) {
  const unsigned channels = row->channels;
  const int has_alpha = (row->color_type & PNG_COLOR_MASK_ALPHA) != 0;
  const size_t samples = (size_t)row->width * channels;
  size_t i;
  (void)png;
  if (row->bit_depth != 16 || channels == 0) return;
  for (i = 0; i < samples; ++i) {
    const unsigned value = ((unsigned)data[2 * i] << 8) | data[2 * i + 1];
    const int alpha = has_alpha && i % channels == channels - 1;
    data[i] = alpha ? (unsigned char)((value * 255u + 32895u) >> 16) : EncodeLinear16(value);
  }
  row->bit_depth = 8;
  row->pixel_depth = (png_byte)(8 * channels);
  row->rowbytes = samples;
}

static void ResetResult(ZpngResult* result) {
  memset(result, 0, sizeof(*result));
  result->status = ZPNG_OK;
}

/* Sets the transformations that deliver 8 bits per channel and one byte
 * per palette index; fills the layout and the palette. */
/* A transparent colour key that no sample of the file's depth can have
 * makes nothing transparent (the library would cut it to the depth's bits
 * and hide pixels that were never meant to be). */
static int KeyInRange(png_structp png, png_infop info, int colour_type, int bit_depth) {
  png_bytep alpha = NULL;
  int entries = 0;
  png_color_16p key = NULL;
  const unsigned most = bit_depth >= 16 ? 0xFFFFu : (1u << bit_depth) - 1u;
  if (!png_get_tRNS(png, info, &alpha, &entries, &key) || !key) return 0;
  if (colour_type == PNG_COLOR_TYPE_GRAY) return key->gray <= most;
  return key->red <= most && key->green <= most && key->blue <= most;
}

static int ChooseLayout(png_structp png, png_infop info, ZpngImageInfo* image) {
  const int colour_type = image->file_colour_type;
  int has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (colour_type == PNG_COLOR_TYPE_PALETTE) {
    png_colorp colours = NULL;
    int entries = 0;
    int i;
    if (!png_get_PLTE(png, info, &colours, &entries) || entries < 1 || entries > 256) return 0;
    for (i = 0; i < 256; ++i) {
      image->palette[i][0] = i < entries ? colours[i].red : 0;
      image->palette[i][1] = i < entries ? colours[i].green : 0;
      image->palette[i][2] = i < entries ? colours[i].blue : 0;
      image->palette[i][3] = 255;
    }
    if (has_trns) {
      png_bytep alpha = NULL;
      int alpha_entries = 0;
      png_color_16p key = NULL;
      if (png_get_tRNS(png, info, &alpha, &alpha_entries, &key) && alpha) {
        for (i = 0; i < alpha_entries && i < entries; ++i) image->palette[i][3] = alpha[i];
      }
    }
    image->palette_entries = entries;
    if (image->file_bit_depth < 8) png_set_packing(png);
    image->layout = ZPNG_PALETTE;
    return 1;
  }
  if (has_trns && !KeyInRange(png, info, colour_type, image->file_bit_depth)) has_trns = 0;
  if (colour_type == PNG_COLOR_TYPE_GRAY && image->file_bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  /* A transparent colour key becomes an alpha channel. */
  if (has_trns) png_set_tRNS_to_alpha(png);
  if (image->file_bit_depth == 16 && image->linear_light) {
    png_set_read_user_transform_fn(png, LinearSixteenToEight);
    png_set_user_transform_info(png, NULL, 8, 0);
    image->linear_light = 0; /* encoded here already */
  } else if (image->file_bit_depth == 16) {
    png_set_scale_16(png);
  }
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY:
      image->layout = has_trns ? ZPNG_GRAY_ALPHA : ZPNG_GRAY;
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      image->layout = ZPNG_GRAY_ALPHA;
      return 1;
    case PNG_COLOR_TYPE_RGB:
      image->layout = has_trns ? ZPNG_RGBA : ZPNG_RGB;
      return 1;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      image->layout = ZPNG_RGBA;
      return 1;
    default:
      return 0;
  }
}

static int ChannelsOf(int layout) {
  switch (layout) {
    case ZPNG_GRAY:
    case ZPNG_PALETTE:
      return 1;
    case ZPNG_GRAY_ALPHA:
      return 2;
    case ZPNG_RGB:
      return 3;
    case ZPNG_RGBA:
      return 4;
    default:
      return 0;
  }
}

void ZpngDecode(const unsigned char* memory, size_t available_bytes, void* context, ZpngStartSink on_start,
                ZpngRowFetch on_fetch, ZpngRowSink on_row, ZpngResult* result) {
  GlueState state;
  ZpngImageInfo image;
  png_structp png;
  png_infop info;
  ResetResult(result);
  memset(&state, 0, sizeof(state));
  memset(&image, 0, sizeof(image));
  state.result = result;
  state.memory = memory;
  state.size = memory ? available_bytes : 0;
  if (state.size < 8 || png_sig_cmp(memory, 0, 8) != 0) {
    result->status = ZPNG_NOT_PNG;
    return;
  }
  png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, GlueError, GlueWarning);
  if (!png) {
    CopyText(result->message, sizeof(result->message), "cannot create the reader");
    result->status = ZPNG_LIBRARY_ERROR;
    return;
  }
  info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, NULL, NULL);
    CopyText(result->message, sizeof(result->message), "cannot create the reader");
    result->status = ZPNG_LIBRARY_ERROR;
    return;
  }
  if (setjmp(png_jmpbuf(png))) {
    /* An error behind the last row (in the chunks after the pixels) leaves
     * whole pixels: the caller keeps them and is told in end_error. */
    if (result->rows_complete) {
      CopyText(result->end_error, sizeof(result->end_error), result->message);
      result->message[0] = '\0';
      result->status = ZPNG_OK;
    }
    png_destroy_read_struct(&png, &info, NULL);
    return;
  }
  png_set_read_fn(png, &state, GlueRead);
  png_read_info(png, info);
  {
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, colour_type = 0, interlace = 0;
    int passes, pass;
    unsigned row;
    uint64_t pixels, packed_bytes;
    unsigned char* buffer;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, &interlace, NULL, NULL);
    result->declared_width = width;
    result->declared_height = height;
    pixels = (uint64_t)width * height;
    /* The packed pixel bits, before any expansion. */
    packed_bytes = (pixels * (uint64_t)png_get_channels(png, info) * (uint64_t)bit_depth + 7) / 8;
    if (width == 0 || height == 0 || pixels > ZPNG_MAX_PIXELS ||
        packed_bytes > (uint64_t)ZPNG_MAX_INFLATE_RATIO * state.size) {
      result->status = ZPNG_TOO_LARGE;
      png_destroy_read_struct(&png, &info, NULL);
      return;
    }
    image.width = width;
    image.height = height;
    image.file_bit_depth = bit_depth;
    image.file_colour_type = colour_type;
    image.interlaced = interlace != PNG_INTERLACE_NONE;
    {
      png_fixed_point gamma = 0;
      image.linear_light = png_get_gAMA_fixed(png, info, &gamma) && gamma == PNG_FP_1;
    }
    if (!ChooseLayout(png, info, &image)) {
      result->status = ZPNG_UNSUPPORTED;
      png_destroy_read_struct(&png, &info, NULL);
      return;
    }
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.row_bytes = png_get_rowbytes(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != ChannelsOf(image.layout) ||
        image.row_bytes != (size_t)width * (size_t)ChannelsOf(image.layout)) {
      result->status = ZPNG_UNSUPPORTED;
      png_destroy_read_struct(&png, &info, NULL);
      return;
    }
    buffer = on_start(context, &image);
    if (!buffer) {
      result->status = ZPNG_CALLBACK_REFUSED;
      png_destroy_read_struct(&png, &info, NULL);
      return;
    }
    for (pass = 0; pass < passes; ++pass) {
      for (row = 0; row < height; ++row) {
        if (image.interlaced && pass > 0 && !on_fetch(context, row, buffer)) {
          result->status = ZPNG_CALLBACK_REFUSED;
          png_destroy_read_struct(&png, &info, NULL);
          return;
        }
        png_read_row(png, buffer, NULL);
        if (!on_row(context, row, buffer)) {
          result->status = ZPNG_CALLBACK_REFUSED;
          png_destroy_read_struct(&png, &info, NULL);
          return;
        }
      }
    }
    result->rows_complete = 1;
  }
  png_read_end(png, NULL);
  png_destroy_read_struct(&png, &info, NULL);
}

void ZpngEncode(FILE* file, const ZpngWriteInfo* write_info, unsigned char* row_buffer, void* context,
                ZpngRowSource on_row, ZpngResult* result) {
  GlueState state;
  png_structp png;
  png_infop info;
  png_color colours[256];
  png_byte alpha[256];
  int colour_type;
  unsigned row;
  int i;
  ResetResult(result);
  memset(&state, 0, sizeof(state));
  state.result = result;
  switch (write_info->layout) {
    case ZPNG_GRAY:
      colour_type = PNG_COLOR_TYPE_GRAY;
      break;
    case ZPNG_GRAY_ALPHA:
      colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
      break;
    case ZPNG_RGB:
      colour_type = PNG_COLOR_TYPE_RGB;
      break;
    case ZPNG_RGBA:
      colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
      break;
    case ZPNG_PALETTE:
      colour_type = PNG_COLOR_TYPE_PALETTE;
      if (write_info->palette_entries < 1 || write_info->palette_entries > 256 ||
          write_info->transparent_entries < 0 || write_info->transparent_entries > write_info->palette_entries) {
        result->status = ZPNG_UNSUPPORTED;
        return;
      }
      break;
    default:
      result->status = ZPNG_UNSUPPORTED;
      return;
  }
  png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, GlueError, GlueWarning);
  if (!png) {
    CopyText(result->message, sizeof(result->message), "cannot create the writer");
    result->status = ZPNG_LIBRARY_ERROR;
    return;
  }
  info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, NULL);
    CopyText(result->message, sizeof(result->message), "cannot create the writer");
    result->status = ZPNG_LIBRARY_ERROR;
    return;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, write_info->width, write_info->height, 8, colour_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (colour_type == PNG_COLOR_TYPE_PALETTE) {
    for (i = 0; i < write_info->palette_entries; ++i) {
      colours[i].red = write_info->palette[i][0];
      colours[i].green = write_info->palette[i][1];
      colours[i].blue = write_info->palette[i][2];
      alpha[i] = write_info->palette[i][3];
    }
    png_set_PLTE(png, info, colours, write_info->palette_entries);
    if (write_info->transparent_entries > 0) png_set_tRNS(png, info, alpha, write_info->transparent_entries, NULL);
  }
  png_write_info(png, info);
  for (row = 0; row < write_info->height; ++row) {
    if (!on_row(context, row, row_buffer)) {
      result->status = ZPNG_CALLBACK_REFUSED;
      png_destroy_write_struct(&png, &info);
      return;
    }
    png_write_row(png, row_buffer);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  result->rows_complete = 1;
}
