#pragma once
// The records the flows keep about albums and photos, and the four picture sizes.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "text/text_types.h"

struct AlbumRecord {
    Text albumId;
    Text albumType;
    Text caption;
    Text updatedAt;
    std::int32_t photoCount = 0;
    Text createdAt;
    Text coverUrl;
};

struct PhotoRecord {
    Text caption;
    Text picHost;
    Text picName;
    std::int32_t timestamp = 0;
};

enum class PictureSize { kOriginal, kHigh, kStandard, kSmall };
inline constexpr PictureSize kDefaultSize = PictureSize::kHigh;

// The size commands' identifiers are this one and the three after it, in the table's order.
inline constexpr int kCmdSizeFirst = 10002;

// Everything a size is known by: its menu item, its command, where its radio mark sits and the
// segment of a picture's address that asks the service for it.
struct SizeVariant {
    PictureSize size;
    std::string_view menuText;  // code page 936
    std::string_view segment;
    int Command() const { return kCmdSizeFirst + static_cast<int>(size); }
    int RadioPosition() const { return static_cast<int>(size); }
};

inline constexpr std::array<SizeVariant, 4> kSizeVariants = {{
    {PictureSize::kOriginal, "\xD4\xAD\xCD\xBC", "/large/"},  // 原图
    {PictureSize::kHigh, "\xB8\xDF\xC7\xE5", "/mw1024/"},     // 高清
    {PictureSize::kStandard, "\xB1\xEA\xC7\xE5", "/mw690/"},  // 标清
    {PictureSize::kSmall, "\xCB\xF5\xC2\xD4", "/small/"},     // 缩略
}};

inline const SizeVariant& VariantOf(PictureSize size) {
    return kSizeVariants[static_cast<size_t>(size)];
}

// The size whose address segment this is, or nothing.
inline std::optional<PictureSize> SizeForSegment(std::string_view segment) {
    for (const auto& v : kSizeVariants) {
        if (v.segment == segment) return v.size;
    }
    return std::nullopt;
}

// True when a picture fetched at `had` serves for `wanted`: the same size or a larger one (the
// table runs from the largest down).
inline bool ServesFor(PictureSize had, PictureSize wanted) {
    return static_cast<int>(had) <= static_cast<int>(wanted);
}

inline std::optional<PictureSize> SizeForCommand(int command) {
    for (const auto& v : kSizeVariants) {
        if (v.Command() == command) return v.size;
    }
    return std::nullopt;
}
