// Pictures from image files held in memory: the decoded image at its natural pixel size, painted
// over a fill colour that shows where the image is transparent.
#pragma once

#include <cstdint>
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

// The pixel size loadPicture would give, read from the image's header without decoding it;
// nullopt when the header gives none.
struct PictureSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
std::optional<PictureSize> pictureSize(std::span<const std::uint8_t> bytes);

}  // namespace platform::imaging
