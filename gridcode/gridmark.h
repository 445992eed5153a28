/* Gridmark: lays data out as a two-dimensional dot-grid code, fills it into a monochrome bitmap
 * and prints it, and in a second form compresses, encrypts and frames data into a bitmap file
 * image. Plain C exports over packed little-endian records; nothing of C++ crosses them.
 *
 * Every export returns 1 for success or a negative code:
 *   -1   memory refused, or a digital-grid argument that cannot be used
 *   -5   nothing to work with: no resolution, no size, a null pointer, the layout refused
 *   -7   the progress callback cancelled
 *   -12  compression failed
 *   -21  resolutions not supported for this density or mode, or a module measure of 0
 *   -22  column bytes not 4 to 84 in steps of 4
 *   -24  the data are too long, do not fit, or an output size would not fit its field
 *   -25  a drawing resource or device operation failed
 *   -26  the target bitmap is not 1 bit, 1 plane, of the size GetGridParam gave
 *   -27  PrintGrid: wider than the device's printable width
 *   -28  PrintGrid: taller than the device's printable height
 *   -125 DotsPerModule above 18
 *   -200 - n  FillDigitalGrid in digital mode: the coding failed with n (-1, -2, -4)
 * FillDigitalGrid in plain mode (0) also answers 101 for success when the data stayed
 * uncompressed.
 */
#ifndef GRIDCODE_GRIDMARK_H
#define GRIDCODE_GRIDMARK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(GRIDMARK_BUILDING)
#define GRIDMARK_API __attribute__((visibility("default")))
#else
#define GRIDMARK_API
#endif

/* Progress and cancel callback: (phase, value, 0); answer 1 to go on, anything else cancels.
 * Phases: 102 filling (value 0..100), 103 printing (0..100), 104 data too long (327680). */
typedef int32_t (*GridProgress)(int32_t phase, int32_t value, int32_t reserved);

#pragma pack(push, 1)
/* The parameter record of every grid export. Fields in this order, packed, pointers at their
 * natural width (62 bytes with 64-bit pointers, 54 with 32-bit ones). */
typedef struct GridParams {
    uint16_t GridDpi;       /* 0 = 300; 204 fixed-ratio mode; 200, 300, 400, 600 table densities */
    uint16_t XResolution;   /* device dots per inch across */
    uint16_t YResolution;   /* device dots per inch down */
    uint16_t Width;         /* wanted width, 1/100 inch, 0 = not given */
    uint16_t Height;        /* wanted height, 1/100 inch, 0 = not given */
    uint16_t WidthBytes;    /* fixed width in bytes of 8 modules, 0 or 4..84 step 4 */
    uint16_t LeftOffset;    /* PrintGrid, 1/100 inch */
    uint16_t TopOffset;     /* PrintGrid, 1/100 inch */
    const uint8_t* Data;    /* FillGrid */
    uint32_t DataLength;    /* at most 327680 */
    GridProgress Progress;  /* may be null */
    uint32_t SizeFlags;     /* bit 0: with Width given, also size the rows from Height */
    int32_t MinRedundancy;  /* error-correction level 0..100, floor of Redundancy */
    uint16_t CodeWidth;     /* out, 1/100 inch */
    uint16_t CodeHeight;    /* out, 1/100 inch */
    uint16_t ColumnBytes;   /* out */
    uint16_t Rows;          /* out, data rows, a multiple of 24 */
    uint16_t Redundancy;    /* out, percent */
    uint16_t CodeBytes;     /* out */
    uint16_t CheckBytes;    /* out */
    uint16_t DotsPerModule; /* 0 = from the resolutions, at most 18 */
    uint16_t TableSelect;   /* 1 = second resolution table */
} GridParams;

/* The layout record: ten 32-bit fields. */
typedef struct GridLayout {
    int32_t level;
    int32_t dataLength;
    int32_t headerLength;
    int32_t columnBytes;
    int32_t rows;
    int32_t total;
    int32_t check;
    int32_t dataBytes;
    int32_t blocks;
    int32_t dataSpan;
} GridLayout;
#pragma pack(pop)

#ifdef __cplusplus
#define GRIDMARK_SIZE_CHECK(cond, text) static_assert(cond, text)
#else
#define GRIDMARK_SIZE_CHECK(cond, text) _Static_assert(cond, text)
#endif
GRIDMARK_SIZE_CHECK(sizeof(GridParams) == 46 + 2 * sizeof(void*), "GridParams is packed");
GRIDMARK_SIZE_CHECK(sizeof(GridLayout) == 40, "GridLayout is ten 32-bit fields");

/* A monochrome bitmap the library draws into (the host's target of FillGrid). */
typedef struct GridBitmap GridBitmap;

/* A device PrintGrid prints on. The host (or a printing module) backs it: the printable size in
 * device pixels and a blit of one band of 1-bit rows, top row first, most significant bit
 * leftmost, bit 1 white, `stride` bytes a row. blit answers 1 when the band went out. */
typedef struct GridDevice {
    void* context;
    int32_t horzRes;
    int32_t vertRes;
    int32_t (*blit)(void* context, int32_t x, int32_t y, int32_t width, int32_t height,
                    const uint8_t* rows, int32_t stride);
} GridDevice;

GRIDMARK_API int32_t GetGridParam(GridParams* params, uint16_t* bitmapWidth,
                                  uint16_t* bitmapHeight);
GRIDMARK_API int32_t FillGrid(GridParams* params, GridBitmap* target);
GRIDMARK_API int32_t PrintGrid(GridParams* params, const GridDevice* device,
                               const GridBitmap* bitmap);
GRIDMARK_API int32_t GetGridSize(GridParams* params, uint16_t* width, uint16_t* height);
GRIDMARK_API int32_t GetDataLength(GridParams* params, int32_t* length);

/* image receives a block the caller releases with FreeDigitalGrid. trailer: 20 bytes; bytes 16
 * to 19 receive the current time, bytes 0 to 15 are the caller's and stay as they are. */
GRIDMARK_API int32_t FillDigitalGrid(const uint8_t* data, uint32_t length, const char* key,
                                     uint16_t mode, uint8_t** image, uint32_t* imageSize,
                                     uint8_t* trailer, int32_t option);
GRIDMARK_API void FreeDigitalGrid(uint8_t* image);
GRIDMARK_API int32_t CompressBufData(uint8_t* buffer, uint32_t* length, int32_t option);
GRIDMARK_API int32_t EncryptBufData(uint8_t* buffer, uint32_t length, const char* key,
                                    uint8_t* block, int32_t option);

/* Bitmaps for hosts without their own: planes and bits per pixel are kept so FillGrid can refuse
 * a bitmap of the wrong kind. Pixels read back 1 (white) or 0 (black), -1 outside. */
GRIDMARK_API GridBitmap* GridCreateBitmap(int32_t width, int32_t height, uint16_t planes,
                                          uint16_t bitsPerPixel);
GRIDMARK_API void GridDestroyBitmap(GridBitmap* bitmap);
GRIDMARK_API int32_t GridBitmapPixel(const GridBitmap* bitmap, int32_t x, int32_t y);

#ifdef __cplusplus
}
#endif

#endif
