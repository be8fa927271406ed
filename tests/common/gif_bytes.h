#pragma once
// Hand-made animated GIF files for tests. Wine's GDI+ encodes no pixels into a GIF, so the
// tests that need one (image decoding, the picture box's player) build it byte by byte.
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "text/text_types.h"

namespace gifbytes {

inline void Put16(ByteBuffer& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

// LZW image data for palette indexes with a 2-bit minimum code size, packed least significant
// bit first. A clear code before every two pixels keeps every code 3 bits wide, so no
// dictionary is needed. Ends with the empty sub-block.
inline ByteBuffer LzwPixels(const std::vector<int>& indexes) {
    const int clear = 4;
    const int end = 5;
    std::vector<int> codes{clear};
    int sinceClear = 0;
    for (int index : indexes) {
        if (sinceClear == 2) {
            codes.push_back(clear);
            sinceClear = 0;
        }
        codes.push_back(index);
        ++sinceClear;
    }
    codes.push_back(end);
    ByteBuffer packed;
    unsigned accumulator = 0;
    int bits = 0;
    for (int code : codes) {
        accumulator |= static_cast<unsigned>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            packed.push_back(static_cast<char>(accumulator & 0xFF));
            accumulator >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) packed.push_back(static_cast<char>(accumulator & 0xFF));
    ByteBuffer blocks;
    blocks.push_back(2);  // minimum code size
    for (std::size_t at = 0; at < packed.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
        blocks.push_back(static_cast<char>(n));
        blocks.append(packed, at, n);
    }
    blocks.push_back('\0');
    return blocks;
}

// One solid frame per colour (0xRRGGBB, at most four distinct), with the given delays in
// hundredths of a second (frames past the list get 0) and loop count (0 = for ever).
inline ByteBuffer AnimatedGif(int width, int height, const std::vector<std::uint32_t>& colours,
                              const std::vector<std::uint16_t>& delays, int loops) {
    std::map<std::uint32_t, int> palette;
    for (std::uint32_t colour : colours) palette.emplace(colour, static_cast<int>(palette.size()));
    ByteBuffer gif = "GIF89a";
    Put16(gif, width);
    Put16(gif, height);
    gif += "\xF1";  // global table of 4 entries, 8 bits per primary
    gif += '\0';    // background index
    gif += '\0';    // aspect
    ByteBuffer table(12, '\0');
    for (const auto& [colour, index] : palette) {
        table[index * 3] = static_cast<char>((colour >> 16) & 0xFF);
        table[index * 3 + 1] = static_cast<char>((colour >> 8) & 0xFF);
        table[index * 3 + 2] = static_cast<char>(colour & 0xFF);
    }
    gif += table;
    gif += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    Put16(gif, loops);
    gif += '\0';
    for (std::size_t frame = 0; frame < colours.size(); ++frame) {
        gif += "\x21\xF9\x04";
        gif += '\x04';  // disposal: leave in place
        Put16(gif, frame < delays.size() ? delays[frame] : 0);
        gif += '\0';  // transparent index (unused)
        gif += '\0';
        gif += '\x2C';
        Put16(gif, 0);
        Put16(gif, 0);
        Put16(gif, width);
        Put16(gif, height);
        gif += '\0';  // no local table, not interlaced
        gif += LzwPixels(
            std::vector<int>(static_cast<std::size_t>(width) * height, palette[colours[frame]]));
    }
    gif += '\x3B';
    return gif;
}

}  // namespace gifbytes
