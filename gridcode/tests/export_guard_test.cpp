// Every export of the library answers memory running out with its own code; no C++ exception
// leaves it. The test program replaces operator new so that it refuses every allocation while
// `refuse` is set; the library's allocations come to it as to any other.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <vector>

#include "gridcode/gridmark.h"

namespace {
std::atomic<bool> refuse{false};
}  // namespace

// Every form without an alignment goes through malloc and free, so that what one form allocates
// another may release (the sanitizers' own forms stay out of it). GCC cannot tell that these are
// the program's allocation functions and takes the free in a delete for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
    if (refuse.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return refuse.load(std::memory_order_relaxed) ? nullptr : std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept {
    return operator new(n, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

struct Refused {
    bool threw = false;
    std::int32_t result = 0;
};

Refused whileRefused(const std::function<std::int32_t()>& call) {
    Refused r;
    refuse = true;
    try {
        r.result = call();
    } catch (...) {
        r.threw = true;
    }
    refuse = false;
    return r;
}

TEST(Exports, MemoryRefusedIsAnsweredWithTheExportsCode) {
    std::vector<std::uint8_t> data(2000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    GridParams p{};
    p.GridDpi = p.XResolution = p.YResolution = 300;
    p.Width = 100;
    p.Data = data.data();
    p.DataLength = static_cast<std::uint32_t>(data.size());
    std::uint16_t w = 0, h = 0;
    ASSERT_EQ(GetGridParam(&p, &w, &h), 1);
    GridBitmap* bitmap = GridCreateBitmap(w, h, 1, 1);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(FillGrid(&p, bitmap), 1);
    GridDevice device{nullptr, w, h,
                      [](void*, int32_t, int32_t, int32_t, int32_t, const uint8_t*,
                         int32_t) -> int32_t { return 1; }};
    ASSERT_EQ(PrintGrid(&p, &device, bitmap), 1);
    std::vector<std::uint8_t> buffer(data.size() + 320);
    std::uint32_t length = 0;
    std::uint8_t block[20] = {}, trailer[20] = {};
    std::uint8_t* image = nullptr;
    std::uint32_t imageSize = 0;
    std::int32_t fits = 0;
    const std::int32_t corner = GridBitmapPixel(bitmap, 0, 0);

    const struct {
        const char* name;
        std::function<std::int32_t()> call;
        std::int32_t refused;  // the answer while memory is refused
    } exports[] = {
        {"GetGridParam", [&] { return GetGridParam(&p, &w, &h); }, 1},
        {"GetGridSize", [&] { return GetGridSize(&p, &w, &h); }, 1},
        {"GetDataLength", [&] { return GetDataLength(&p, &fits); }, 1},
        {"FillGrid", [&] { return FillGrid(&p, bitmap); }, -1},
        {"PrintGrid", [&] { return PrintGrid(&p, &device, bitmap); }, -25},  // its band bitmap
        {"CompressBufData",
         [&] {
             std::copy(data.begin(), data.end(), buffer.begin());
             length = static_cast<std::uint32_t>(data.size());
             return CompressBufData(buffer.data(), &length, 0);
         },
         -12},
        {"EncryptBufData", [&] { return EncryptBufData(buffer.data(), 64, "key", block, 0); }, 1},
        {"FillDigitalGrid",
         [&] { return FillDigitalGrid(data.data(), 100, "", 0, &image, &imageSize, trailer, 0); },
         -1},
        {"GridCreateBitmap", [&] { return GridCreateBitmap(8, 8, 1, 1) ? 1 : 0; }, 0},
        {"GridBitmapPixel", [&] { return GridBitmapPixel(bitmap, 0, 0); }, corner},
    };
    for (const auto& e : exports) {
        const Refused r = whileRefused(e.call);
        EXPECT_FALSE(r.threw) << e.name;
        EXPECT_EQ(r.result, e.refused) << e.name;
    }
    EXPECT_EQ(image, nullptr);
    GridDestroyBitmap(bitmap);
}

}  // namespace
