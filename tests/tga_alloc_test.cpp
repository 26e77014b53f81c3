// SPDX-License-Identifier: MIT
// An allocation that fails makes the TGA reader return none, never crash.
// This program replaces the global operator new so the failure can be forced.
#include "tga_files.h"

#include <cstdlib>
#include <new>

namespace {
bool failLargeAllocations = false; // refuse requests of 1 MiB or more
}

// Every form of new and delete that comes from malloc and free is replaced
// together: a form left to the library (or to AddressSanitizer's own) would
// free with one allocator what the other allocated.
void* operator new(std::size_t size)
{
    if (failLargeAllocations && size >= (1u << 20))
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace {

TEST(TgaAllocation, FailureReturnsNone)
{
    // A header claiming 1024 x 512 RGBA pixels (2 MiB, zero-filled) and no pixels.
    Bytes file = encodeTga(0, 0, 4, {}, { 32, false, false, "" });
    file[13]   = 1024 >> 8;
    file[15]   = 512 >> 8;
    const TempFile tooBig(file);
    TgaFailure failure;
    failLargeAllocations = true;
    const auto refused   = loadTgaImage(tooBig.path.c_str(), &failure);
    failLargeAllocations = false;
    EXPECT_FALSE(refused);
    EXPECT_EQ(failure.error, TgaError::outOfMemory);
    const auto read = loadBytes(file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->imageData.size(), 2u << 20);
}

TEST(TgaAllocation, PictureScaledDownIsNeverHeldAtFullSize)
{
    // 2048 x 2048 RGBA (16 MiB) in run packets of 128 pixels, fitted to 256:
    // the record is 256 KiB, and no allocation may come near the full size.
    Bytes file = encodeTga(0, 0, 4, {}, { 32, true, false, "" });
    file[13]   = 2048 >> 8;
    file[15]   = 2048 >> 8;
    for (int packet = 0; packet < 2048 * 2048 / 128; ++packet)
        file.insert(file.end(),
                    { 0xFF, 10, 20, 30, static_cast<unsigned char>(packet % 128 == 0 ? 0 : 255) });
    const TempFile picture(file);
    TgaLimits limits;
    limits.fitSide       = 256;
    failLargeAllocations = true;
    const auto image     = loadTgaImage(picture.path.c_str(), nullptr, limits);
    failLargeAllocations = false;
    ASSERT_TRUE(image);
    EXPECT_EQ(image->sizeX, 256);
    EXPECT_EQ(image->sizeY, 256);
    EXPECT_EQ(image->imageData.size(), 256u * 256 * 4);
}

} // namespace
