/* The JPEG library reports a fatal error by calling the error manager's exit
 * hook, which must not return. Ours jumps back to the function that armed it,
 * which destroys the library object and returns a status. Nothing but plain C
 * data lives in the frames that the jump leaves. */
#include "picture/jpeg_glue.h"

#include <jpeglib.h>
#include <jerror.h>
#include <setjmp.h>
#include <stdint.h>
#include <string.h>

/* Coefficient buffers of multi-scan files are held by the library; beyond
 * this it refuses instead of allocating. */
#define ZJPEG_LIBRARY_MEMORY_CAP (1024L * 1024L * 1024L)

typedef struct GlueErrorManager {
  struct jpeg_error_mgr pub; /* first, so the library's pointer is ours */
  jmp_buf jump;
  ZjpegResult* result;
  int missing_data_is_fatal;
} GlueErrorManager;

static void GlueErrorExit(j_common_ptr cinfo) {
  GlueErrorManager* manager = (GlueErrorManager*)cinfo->err;
  char text[JMSG_LENGTH_MAX];
  text[0] = '\0';
  (*cinfo->err->format_message)(cinfo, text);
  snprintf(manager->result->message, sizeof(manager->result->message), "%s", text);
  manager->result->status = ZJPEG_LIBRARY_ERROR;
  longjmp(manager->jump, 1);
}

/* The library only warns when the file ends before the picture's data do,
 * and makes up the rest; the picture would be reported as loaded. While
 * pixels are still being decoded, that warning ends the load. (Damaged data
 * inside a complete file stay warnings: the library repairs what it can, and
 * real files with such flaws are shown by every other reader.) */
static void GlueEmitMessage(j_common_ptr cinfo, int level) {
  GlueErrorManager* manager = (GlueErrorManager*)cinfo->err;
  if (level < 0 && manager->missing_data_is_fatal && cinfo->err->msg_code == JWRN_JPEG_EOF) {
    GlueErrorExit(cinfo);
  }
  /* Warnings are counted for the caller's log instead of going to stderr;
   * trace messages (level >= 0) are not wanted. */
  if (level < 0) {
    if (manager->result->warnings++ == 0) {
      char text[JMSG_LENGTH_MAX];
      text[0] = '\0';
      (*cinfo->err->format_message)(cinfo, text);
      snprintf(manager->result->first_warning, sizeof(manager->result->first_warning), "%s", text);
    }
    cinfo->err->num_warnings++;
  }
}

static void InitErrorManager(GlueErrorManager* manager, ZjpegResult* result) {
  memset(manager, 0, sizeof(*manager));
  jpeg_std_error(&manager->pub);
  manager->pub.error_exit = GlueErrorExit;
  manager->pub.emit_message = GlueEmitMessage;
  manager->result = result;
  result->status = ZJPEG_OK;
  result->declared_width = 0;
  result->declared_height = 0;
  result->message[0] = '\0';
  result->warnings = 0;
  result->first_warning[0] = '\0';
}

/* Entropy-coded data spend at least one bit per 8x8 block of every component
 * (Huffman codes are at least one bit long), so a header that declares more
 * blocks than the bytes can hold describes data that is not there. Arithmetic
 * coding has no such bound; the pixel cap covers it. */
static int DeclaredSizeIsPlausible(const struct jpeg_decompress_struct* cinfo,
                                   size_t available_bytes) {
  uint64_t pixels = (uint64_t)cinfo->image_width * (uint64_t)cinfo->image_height;
  uint64_t blocks = 0;
  int i;
  if (cinfo->image_width == 0 || cinfo->image_height == 0) return 0;
  if (pixels > ZJPEG_MAX_PIXELS) return 0;
  if (cinfo->arith_code) return 1;
  for (i = 0; i < cinfo->num_components; ++i) {
    const jpeg_component_info* component = &cinfo->comp_info[i];
    blocks += (uint64_t)component->width_in_blocks * (uint64_t)component->height_in_blocks;
  }
  return blocks <= (uint64_t)available_bytes * 8u;
}

static int ColourModel(const struct jpeg_decompress_struct* cinfo) {
  switch (cinfo->out_color_space) {
    case JCS_GRAYSCALE:
      return ZJPEG_GRAY;
    case JCS_RGB:
      return ZJPEG_RGB;
    case JCS_CMYK:
      return cinfo->saw_Adobe_marker ? ZJPEG_CMYK_INVERTED : ZJPEG_FOUR_RAW;
    default:
      return 0;
  }
}

/* Runs with the jump armed by ZjpegDecode. */
static void DecodeArmed(struct jpeg_decompress_struct* cinfo, GlueErrorManager* manager,
                        const unsigned char* memory, size_t available_bytes, void* context, ZjpegStartSink on_start, ZjpegRowSink on_row,
                        ZjpegResult* result) {
  ZjpegImageInfo info;
  unsigned char* row_buffer;

  manager->missing_data_is_fatal = 1;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = ZJPEG_LIBRARY_MEMORY_CAP;
  jpeg_mem_src(cinfo, (unsigned char*)memory, (unsigned long)available_bytes);
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) {
    result->status = ZJPEG_BAD_HEADER;
    return;
  }
  result->declared_width = cinfo->image_width;
  result->declared_height = cinfo->image_height;
  if (!DeclaredSizeIsPlausible(cinfo, available_bytes)) {
    result->status = ZJPEG_TOO_LARGE;
    return;
  }
  if (!jpeg_start_decompress(cinfo)) {
    result->status = ZJPEG_START_FAILED;
    return;
  }
  info.width = cinfo->output_width;
  info.height = cinfo->output_height;
  info.components = cinfo->output_components;
  info.colour_model = ColourModel(cinfo);
  row_buffer = on_start(context, &info);
  if (row_buffer == NULL) {
    result->status = ZJPEG_CALLBACK_REFUSED;
    return;
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW rows[1];
    rows[0] = row_buffer;
    /* A data source that cannot suspend always delivers a row; zero would
     * otherwise loop for ever. */
    if (jpeg_read_scanlines(cinfo, rows, 1) != 1) {
      result->status = ZJPEG_ROWS_FAILED;
      return;
    }
    if (!on_row(context, cinfo->output_scanline - 1, row_buffer)) {
      result->status = ZJPEG_CALLBACK_REFUSED;
      return;
    }
  }
  /* Every pixel is in; a missing end marker no longer matters. */
  manager->missing_data_is_fatal = 0;
  jpeg_finish_decompress(cinfo);
}

void ZjpegDecode(const unsigned char* memory, size_t available_bytes,
                 void* context, ZjpegStartSink on_start, ZjpegRowSink on_row,
                 ZjpegResult* result) {
  struct jpeg_decompress_struct cinfo;
  GlueErrorManager manager;

  memset(&cinfo, 0, sizeof(cinfo));
  InitErrorManager(&manager, result);
  cinfo.err = &manager.pub;
  if (setjmp(manager.jump)) {
    /* result->status and message were set by GlueErrorExit. */
    jpeg_destroy_decompress(&cinfo);
    return;
  }
  DecodeArmed(&cinfo, &manager, memory, available_bytes, context, on_start, on_row, result);
  jpeg_destroy_decompress(&cinfo);
}

static void EncodeArmed(struct jpeg_compress_struct* cinfo, FILE* file, unsigned width,
                        unsigned height, int quality, unsigned char* row_buffer,
                        void* context, ZjpegStageSink on_stage, ZjpegRowSource on_row,
                        ZjpegResult* result) {
  jpeg_create_compress(cinfo);
  on_stage(context, ZJPEG_STAGE_CREATED);
  jpeg_stdio_dest(cinfo, file);
  on_stage(context, ZJPEG_STAGE_DESTINATION);
  cinfo->image_width = width;
  cinfo->image_height = height;
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, FALSE);
  jpeg_start_compress(cinfo, TRUE);
  on_stage(context, ZJPEG_STAGE_WRITING);
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW rows[1];
    if (!on_row(context, cinfo->next_scanline, row_buffer)) {
      result->status = ZJPEG_CALLBACK_REFUSED;
      return;
    }
    rows[0] = row_buffer;
    jpeg_write_scanlines(cinfo, rows, 1);
  }
  on_stage(context, ZJPEG_STAGE_FINISHING);
  jpeg_finish_compress(cinfo);
}

void ZjpegEncode(FILE* file, unsigned width, unsigned height, int quality,
                 unsigned char* row_buffer, void* context, ZjpegStageSink on_stage,
                 ZjpegRowSource on_row, ZjpegResult* result) {
  struct jpeg_compress_struct cinfo;
  GlueErrorManager manager;

  memset(&cinfo, 0, sizeof(cinfo));
  InitErrorManager(&manager, result);
  cinfo.err = &manager.pub;
  if (setjmp(manager.jump)) {
    jpeg_destroy_compress(&cinfo);
    return;
  }
  EncodeArmed(&cinfo, file, width, height, quality, row_buffer, context, on_stage, on_row,
              result);
  jpeg_destroy_compress(&cinfo);
}
