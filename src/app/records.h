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

struct SizeVariant {
    std::string_view menuText;  // code page 936
    int command;
    std::string_view segment;
    int radioPosition;
};

inline constexpr std::array<SizeVariant, 4> kSizeVariants = {{
    {"\xD4\xAD\xCD\xBC", 10002, "/large/", 0},   // 原图
    {"\xB8\xDF\xC7\xE5", 10003, "/mw1024/", 1},  // 高清
    {"\xB1\xEA\xC7\xE5", 10004, "/mw690/", 2},   // 标清
    {"\xCB\xF5\xC2\xD4", 10005, "/small/", 3},   // 缩略
}};

inline std::optional<SizeVariant> SizeVariantForCommand(int command) {
    for (const auto& v : kSizeVariants) {
        if (v.command == command) return v;
    }
    return std::nullopt;
}
