#include "resources/window_icon.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

// The icon group and the window icon's raw pixels are made together by make-icons; the
// window must show exactly the group's 32-pixel picture, so decode that PNG and compare.
namespace zarn {
namespace {

std::uint32_t le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes.at(at)) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes.at(at + 1))) << 8;
}
std::uint32_t le32(const std::string& bytes, std::size_t at) { return le16(bytes, at) | le16(bytes, at + 2) << 16; }
std::uint32_t be32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

struct IconEntry {
    std::uint32_t size;  // the directory writes 256 as 0
    std::uint32_t bit_count;
    std::string data;
};

std::vector<IconEntry> read_icon_group(const std::string& ico) {
    EXPECT_EQ(le16(ico, 0), 0u);
    EXPECT_EQ(le16(ico, 2), 1u) << "not an icon";
    std::vector<IconEntry> entries;
    for (std::uint32_t i = 0; i < le16(ico, 4); ++i) {
        const std::size_t at = 6 + 16 * i;
        const std::uint32_t width = static_cast<std::uint8_t>(ico.at(at));
        const std::uint32_t height = static_cast<std::uint8_t>(ico.at(at + 1));
        EXPECT_EQ(width, height);
        entries.push_back({width == 0 ? 256 : width, le16(ico, at + 6), ico.substr(le32(ico, at + 12), le32(ico, at + 8))});
    }
    return entries;
}

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;
};

std::uint8_t paeth(int left, int up, int up_left) {
    const int p = left + up - up_left;
    const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - up_left);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(left);
    return static_cast<std::uint8_t>(pb <= pc ? up : up_left);
}

// Decodes an 8-bit RGBA, non-interlaced PNG with any of the five row filters.
Image decode_png(const std::string& png) {
    Image image;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::string compressed;
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::uint32_t length = be32(png, at);
        const std::string kind = png.substr(at + 4, 4);
        const std::string data = png.substr(at + 8, length);
        const auto crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
        EXPECT_EQ(crc, be32(png, at + 8 + length)) << kind;
        if (kind == "IHDR") {
            image.width = be32(data, 0);
            image.height = be32(data, 4);
            EXPECT_EQ(data.substr(8), std::string("\x08\x06\x00\x00\x00", 5)) << "8-bit RGBA, not interlaced";
        } else if (kind == "IDAT") {
            compressed += data;
        }
        at += 12 + length;
    }
    const std::size_t stride = std::size_t{image.width} * 4;
    std::vector<std::uint8_t> raw(image.height * (stride + 1));
    uLongf raw_size = static_cast<uLongf>(raw.size());
    EXPECT_EQ(uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()), Z_OK);
    EXPECT_EQ(raw_size, raw.size());

    image.rgba.assign(image.height * stride, 0);
    for (std::size_t row = 0; row < image.height; ++row) {
        const std::uint8_t filter = raw[row * (stride + 1)];
        const std::uint8_t* in = &raw[row * (stride + 1) + 1];
        std::uint8_t* out = &image.rgba[row * stride];
        const std::uint8_t* above = row > 0 ? out - stride : nullptr;
        for (std::size_t i = 0; i < stride; ++i) {
            const int left = i >= 4 ? out[i - 4] : 0;
            const int up = above ? above[i] : 0;
            const int up_left = above && i >= 4 ? above[i - 4] : 0;
            int predicted = 0;
            switch (filter) {
                case 0: predicted = 0; break;
                case 1: predicted = left; break;
                case 2: predicted = up; break;
                case 3: predicted = (left + up) / 2; break;
                case 4: predicted = paeth(left, up, up_left); break;
                default: ADD_FAILURE() << "row filter " << int{filter}; return image;
            }
            out[i] = static_cast<std::uint8_t>(in[i] + predicted);
        }
    }
    return image;
}

std::vector<IconEntry> the_icon_group() { return read_icon_group(test::read_file(ZARN_ICON_GROUP_FILE)); }

TEST(IconGroup, HoldsSevenPngImagesFrom16To256InOrder) {
    const auto entries = the_icon_group();
    const std::vector<std::uint32_t> expected{16, 24, 32, 48, 64, 128, 256};
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_EQ(entries[i].size, expected[i]);
        EXPECT_EQ(entries[i].bit_count, 32u);
        const Image image = decode_png(entries[i].data);
        EXPECT_EQ(image.width, expected[i]);
        EXPECT_EQ(image.height, expected[i]);
    }
}

TEST(WindowIcon, IsThePixelsOfTheGroupsImageOf32) {
    const auto entries = the_icon_group();
    ASSERT_GE(entries.size(), 3u);
    ASSERT_EQ(entries[2].size, kWindowIconSize);
    const Image image = decode_png(entries[2].data);
    const auto pixels = window_icon_rgba();
    ASSERT_EQ(pixels.size(), 4096u);
    EXPECT_EQ(std::vector<std::uint8_t>(pixels.begin(), pixels.end()), image.rgba);
}

TEST(WindowIcon, ShowsAPictureOnATransparentGround) {
    // A block of one colour or of nothing at all would still match a broken group.
    const auto pixels = window_icon_rgba();
    bool transparent = false, opaque = false, light = false, dark = false;
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        transparent |= pixels[i + 3] == 0;
        if (pixels[i + 3] != 255) continue;
        opaque = true;
        light |= pixels[i] > 0xC0;
        dark |= pixels[i] < 0x40;
    }
    EXPECT_TRUE(transparent && opaque && light && dark);
}

}  // namespace
}  // namespace zarn
