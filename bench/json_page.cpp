// A photo-list page read the way the download run reads it, beside RapidJSON doing the same work.
//
// Pictalon: answer bytes -> JsonDocument::ParseAnswer -> "data.total", CountOf("data.photo_list")
// and, for every photo, GetText of caption_render, pic_host and pic_name (code page 936) and
// GetInteger of timestamp, each through its dotted path as the program writes it.
// RapidJSON: Parse of the same bytes -> the same fields copied out as std::string / int64.
//
// Pages have the stand-in's photo-list shape with Chinese captions, either \u-escaped (what the
// stand-in sends) or raw UTF-8. Prints the best time per page of each side and the ratio.
// Usage: json_page [photos...]   (default: 32 1000)
#include <rapidjson/document.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/json_document.h"

namespace {

const char* const kCaptions[] = {
    "海边的日落，和朋友们一起在沙滩上走了很久，风很大但是很开心",
    "周末去爬山，天气很好，山顶上能看到整个城市，下次还要再来",
    "北京 故宫 2017 秋，红墙黄叶，人比想象中少，拍了很多照片",
    "今天的晚饭：红烧肉和米饭，妈妈做的味道永远是最好的",
    "猫咪在窗台上睡觉，阳光照在它身上，一动也不动的样子太可爱了",
    "毕业典礼 合影留念，四年时间过得真快，祝大家前程似锦",
    "雨后的西湖，断桥边的柳树特别绿，空气里都是泥土的味道",
    "新年快乐！愿大家新的一年身体健康，万事如意，心想事成",
};

// The text as a JSON string body: raw UTF-8, or every non-ASCII character as \uXXXX.
std::string JsonString(const std::string& utf8, bool escaped) {
    if (!escaped) return utf8;
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        const int extra = b >= 0xE0 ? 2 : 1;  // the captions hold nothing beyond the BMP
        unsigned cp = b & (extra == 2 ? 0x0F : 0x1F);
        for (int k = 1; k <= extra; ++k)
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", cp);
        out += buffer;
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string Page(int photos, bool escaped) {
    std::string out =
        "{\"result\":true,\"code\":0,\"msg\":\"\",\"data\":{\"album_id\":\"3002\","
        "\"total\":" +
        std::to_string(photos) + ",\"photo_list\":[";
    for (int i = 0; i < photos; ++i) {
        const std::string caption =
            JsonString(std::string(kCaptions[i % 8]) + " " + std::to_string(i + 1), escaped);
        const std::string id = std::to_string(i + 1);
        if (i) out += ",";
        out += "{\"photo_id\":\"30020000" + id +
               "\",\"album_id\":\"3002\",\"uid\":\"1000001\","
               "\"pic_host\":\"http://wx" +
               std::to_string(i % 4 + 1) + ".sinaimg.cn\",\"pic_name\":\"3002_" + id +
               "_8f3a9c2de1b0.jpg\",\"caption\":\"" + caption + "\",\"caption_render\":\"" +
               caption + "\",\"timestamp\":" + std::to_string(1500000000 + 3600 * i) + "}";
    }
    return out + "]}}";
}

// What both sides hand back, so neither can skip work.
struct Sum {
    int64_t total = 0;
    int64_t count = 0;
    int64_t timestamps = 0;
    size_t bytes = 0;
};

Sum ReadWithDocument(const std::string& body) {
    Sum sum;
    JsonDocument doc;
    if (!doc.ParseAnswer(body)) return sum;
    sum.total = doc.GetInteger("data.total");
    sum.count = doc.CountOf("data.photo_list");
    for (int64_t i = 0; i < sum.count; ++i) {
        const std::string photo = "data.photo_list.[" + std::to_string(i) + "].";
        sum.bytes += doc.GetText(photo + "caption_render").size();
        sum.bytes += doc.GetText(photo + "pic_host").size();
        sum.bytes += doc.GetText(photo + "pic_name").size();
        sum.timestamps += doc.GetInteger(photo + "timestamp");
    }
    return sum;
}

// The same fields through a document on each photo: the short names need no path text built per
// photo, and each lookup walks one level instead of three.
Sum ReadWithElementNodes(const std::string& body) {
    Sum sum;
    JsonDocument doc;
    if (!doc.ParseAnswer(body)) return sum;
    sum.total = doc.GetInteger("data.total");
    sum.count = doc.CountOf("data.photo_list");
    for (int i = 0; i < sum.count; ++i) {
        JsonDocument photo = doc.GetElementNode("data.photo_list", i);
        sum.bytes += photo.GetText("caption_render").size();
        sum.bytes += photo.GetText("pic_host").size();
        sum.bytes += photo.GetText("pic_name").size();
        sum.timestamps += photo.GetInteger("timestamp");
    }
    return sum;
}

// Only the parse, to tell it apart from the queries.
Sum ParseOnly(const std::string& body) {
    Sum sum;
    JsonDocument doc;
    sum.count = doc.ParseAnswer(body) ? 1 : 0;
    return sum;
}

Sum ReadWithRapidJson(const std::string& body) {
    Sum sum;
    rapidjson::Document doc;
    doc.Parse(body.data(), body.size());
    if (doc.HasParseError() || !doc.IsObject()) return sum;
    const auto& data = doc["data"];
    sum.total = data["total"].GetInt64();
    const auto& list = data["photo_list"];
    sum.count = list.Size();
    for (const auto& photo : list.GetArray()) {
        const auto text = [&](const char* name) {
            const auto& v = photo[name];
            return std::string(v.GetString(), v.GetStringLength());
        };
        sum.bytes += text("caption_render").size();
        sum.bytes += text("pic_host").size();
        sum.bytes += text("pic_name").size();
        sum.timestamps += photo["timestamp"].GetInt64();
    }
    return sum;
}

double Micros(const std::string& body, Sum (*read)(const std::string&), Sum& last) {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    last = read(body);
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// Best time per page of each side in microseconds. The two sides take turns page by page, so a
// busy spell of the machine (other work shares its cores) falls on both, and the best single
// page of each is the one least disturbed. At least 200 turns and half a second per side.
void BestMicros(const std::string& body, Sum (*readA)(const std::string&),
                Sum (*readB)(const std::string&), double& ours, double& theirs, Sum& a, Sum& b) {
    ours = theirs = 1e300;
    double spentA = 0, spentB = 0;
    for (int turn = 0; turn < 200 || spentA < 5e5 || spentB < 5e5; ++turn) {
        const double ta = Micros(body, readA, a);
        const double tb = Micros(body, readB, b);
        ours = std::min(ours, ta);
        theirs = std::min(theirs, tb);
        spentA += ta;
        spentB += tb;
        if (turn > 200000) break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int k = 1; k < argc; ++k) sizes.push_back(std::atoi(argv[k]));
    if (sizes.empty()) sizes = {32, 1000};
    int failures = 0;
    for (int photos : sizes) {
        for (bool escaped : {true, false}) {
            const std::string body = Page(photos, escaped);
            Sum ours, theirs;
            double us = 0, rj = 0, parse = 0, unused = 0;
            BestMicros(body, ReadWithDocument, ReadWithRapidJson, us, rj, ours, theirs);
            Sum p, e;
            BestMicros(body, ParseOnly, ParseOnly, parse, unused, p, p);
            double nodes = 0, rj2 = 0;
            BestMicros(body, ReadWithElementNodes, ReadWithRapidJson, nodes, rj2, e, theirs);
            const bool same = ours.total == photos && ours.count == photos &&
                              e.timestamps == ours.timestamps && e.bytes == ours.bytes &&
                              theirs.count == photos && ours.timestamps == theirs.timestamps;
            if (!same) ++failures;
            std::printf(
                "%5d photos, %7.1f KB, captions %-8s  pictalon %9.1f us  rapidjson %9.1f us"
                "  ratio %5.2f  | element nodes %9.1f us  rapidjson %9.1f us  ratio %5.2f"
                "  | parse alone %.1f us%s\n",
                photos, body.size() / 1024.0, escaped ? "\\u" : "raw utf8", us, rj, us / rj, nodes,
                rj2, nodes / rj2, parse, same ? "" : "  MISMATCH");
        }
    }
    return failures ? 1 : 0;
}
