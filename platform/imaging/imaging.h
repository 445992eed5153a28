// Pictures from image files held in memory: the decoded image at its natural pixel size, painted
// over a fill colour that shows where the image is transparent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace platform::imaging {

// An opaque bitmap: rows top-down, each pixel 0xFFRRGGBB.
struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t pixel(std::int32_t x, std::int32_t y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Decodes BMP, PNG, JPEG, GIF (its first frame) and TIFF (its first page). Orientation tags
// are not applied. `fill` is a colour reference 0x00BBGGRR. nullopt when the bytes are no image
// this module reads.
std::optional<Picture> loadPicture(std::span<const std::uint8_t> bytes, std::uint32_t fill);

// Makes the image format plugins on the calling thread, once per process. A plugin belongs to
// the thread that first made it; made on a worker thread that then ends, it would point at that
// thread's freed data when the program exits. Call it on a thread that lives as long as the
// program (the one that starts the workers) before other threads decode.
void prepareDecoders();

// The pixel size loadPicture would give, read from the image's header without decoding it;
// nullopt when the header gives none. `workingBytes`: what loadPicture holds besides the picture
// while it decodes (the reader's own image of a format it cannot decode into the picture; 0 for
// images read as 32-bit pixels, which are decoded into the picture's own storage).
struct PictureSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t workingBytes = 0;
};
std::optional<PictureSize> pictureSize(std::span<const std::uint8_t> bytes);

// Pixel storage kept for reuse. Pictures decoded one after another at one size (the pages of an
// issue, issue after issue) take the storage of pictures already gone instead of having fresh
// memory faulted in for each; loadPicture takes from it. The store is the process's, holds at
// most its limit, and is emptied on request (a program that goes idle gives the memory back).
void keepPixels(std::vector<std::uint32_t>&& pixels);
// Storage for `count` pixels, each `value`: kept storage of about that size when there is some.
std::vector<std::uint32_t> takePixels(std::size_t count, std::uint32_t value = 0);
void releaseKeptPixels();
std::size_t keptPixelBytes();
// 256 MiB unless set; storage beyond it is freed at once.
void setKeptPixelsLimit(std::size_t bytes);
// Frees the oldest kept storage until at most `bytes` are kept; the limit stays as it is.
void trimKeptPixels(std::size_t bytes);

// Called with the picture's size each time loadPicture has decoded an image's pixels (never for
// pictureSize, which reads the header alone); from the decoding thread. For counting decodes in
// tests; an empty function removes it.
void setDecodeHook(std::function<void(std::int32_t width, std::int32_t height)> hook);

}  // namespace platform::imaging
