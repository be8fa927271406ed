#include "web/endpoints.h"

#include <string>

namespace {

Text LowerAscii(Text text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool StartsWith(const Text& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool EndsWith(const Text& text, const Text& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Length of "scheme://" when the address starts with http:// or https:// in any case, else 0.
size_t SchemePrefixLength(const Text& url) {
    const Text head = LowerAscii(url.substr(0, 8));
    if (StartsWith(head, "https://")) return 8;
    if (StartsWith(head, "http://")) return 7;
    return 0;
}

}  // namespace

const std::vector<Text>& ServiceHosts() {
    static const std::vector<Text> hosts = {
        kLoginHost,        kPassportHost,     kMainSiteHost,     "www.weibo.com",
        kPhotoHost,        "wx1.sinaimg.cn",  "wx2.sinaimg.cn",  "wx3.sinaimg.cn",
        "wx4.sinaimg.cn",  "tva1.sinaimg.cn", "tva2.sinaimg.cn", "tva3.sinaimg.cn",
        "tva4.sinaimg.cn",
    };
    return hosts;
}

Text RateLimitScope(const Text& url) {
    const Text host = UrlHost(url);
    const Text images = ".sinaimg.cn";
    if (host.size() > images.size() &&
        host.compare(host.size() - images.size(), images.size(), images) == 0) {
        return images.substr(1);
    }
    return host;
}

bool IsServiceHost(const Text& host) {
    Text h = LowerAscii(host);
    // A bracketed IPv6 literal is never a service host; everything else may carry a port.
    if (h.empty() || h[0] == '[') return false;
    const size_t colon = h.find(':');
    if (colon != Text::npos) h.resize(colon);
    if (!h.empty() && h.back() == '.') h.pop_back();
    if (h.empty()) return false;
    for (const Text& known : ServiceHosts()) {
        if (h == known) return true;
    }
    return EndsWith(h, ".weibo.com");
}

Text CompleteScheme(const Text& url) {
    if (url.size() <= 7 || SchemePrefixLength(url) == 0) return "http://" + url;
    return url;
}

Text UrlScheme(const Text& url) {
    const size_t n = SchemePrefixLength(url);
    return n == 0 ? Text() : LowerAscii(url.substr(0, n - 3));
}

Text UrlHost(const Text& url) {
    const size_t start = SchemePrefixLength(url);
    if (start == 0) return Text();
    size_t end = url.find_first_of("/?#", start);
    if (end == Text::npos) end = url.size();
    Text authority = url.substr(start, end - start);
    // Platforms disagree about backslashes and blanks in the host part; such an address names
    // no host we can vouch for.
    for (char c : authority) {
        if (c == '\\' || static_cast<unsigned char>(c) <= ' ') return Text();
    }
    // "https://weibo.com@elsewhere/" goes to elsewhere: the part before "@" is a user name.
    const size_t at = authority.rfind('@');
    if (at != Text::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        return LowerAscii(close == Text::npos ? authority : authority.substr(0, close + 1));
    }
    const size_t colon = authority.find(':');
    if (colon != Text::npos) authority.resize(colon);
    return LowerAscii(authority);
}

bool IsImageHostUrl(const Text& url) {
    return RateLimitScope(url) == "sinaimg.cn";
}

bool IsPlaceholderUrl(const Text& url) {
    const Text path = url.substr(0, url.find_first_of("?#"));
    return IsImageHostUrl(url) && EndsWith(path, "/images/default_d_h_large.gif");
}

Text UpgradeToHttps(const Text& url) {
    if (UrlScheme(url) != "http" || !IsServiceHost(UrlHost(url))) return url;
    return "https://" + url.substr(7);
}

bool MayCarryLoginCookies(const Text& url) {
    return UrlScheme(url) == "https" && IsServiceHost(UrlHost(url));
}

Text QrImageUrl() {
    return Text("https://") + kLoginHost +
           "/sso/qrcode/image?entry=weibo&size=180&callback=STK_15033920845911";
}

Text QrCheckUrl(const Text& qrId) {
    return Text("https://") + kLoginHost + "/sso/qrcode/check?entry=weibo&qrid=" + qrId +
           "&callback=STK_1503392084591317";
}

Text CrossDomainLoginUrl(const Text& loginAlt) {
    return Text("https://") + kLoginHost +
           "/sso/login.php?entry=weibo&returntype=TEXT&crossdomain=1&cdult=3&domain=" +
           kMainSiteDomain + "&alt=" + loginAlt + "&savestate=30&callback=STK_150339562381621";
}

Text QrPictureUrl(const Text& imageAddress) {
    if (imageAddress.empty()) return Text();
    if (StartsWith(imageAddress, "//")) return "https:" + imageAddress;
    if (SchemePrefixLength(imageAddress) == 0) return "https://" + imageAddress;
    const Text scheme = UrlScheme(imageAddress);
    return scheme == "http" ? "https://" + imageAddress.substr(7) : imageAddress;
}

Text MainSiteUrl() {
    return Text("https://") + kMainSiteHost + "/";
}

Text HomePageUrl(const Text& typedAddress) {
    Text address = typedAddress;
    // Blanks around a pasted address are never part of it.
    const size_t first = address.find_first_not_of(" \t\r\n");
    if (first == Text::npos) return Text();
    address = address.substr(first, address.find_last_not_of(" \t\r\n") - first + 1);
    if (StartsWith(address, "//")) address = "https:" + address;
    return UpgradeToHttps(CompleteScheme(address));
}

Text AvatarUrl(const Text& avatarAddress) {
    if (avatarAddress.empty()) return Text();
    if (SchemePrefixLength(avatarAddress) != 0) return avatarAddress;
    if (StartsWith(avatarAddress, "//")) return "http:" + avatarAddress;
    return "http://" + avatarAddress;
}

Text AlbumListUrl(const Text& ownerId, int page) {
    return Text("https://") + kPhotoHost + "/albums/get_all?uid=" + ownerId +
           "&page=" + std::to_string(page) + "&count=20&__rnd=1504067425791";
}

Text PhotoListUrl(const Text& ownerId, const Text& albumId, int page) {
    return Text("https://") + kPhotoHost + "/photos/get_all?uid=" + ownerId +
           "&album_id=" + albumId + "&count=32&page=" + std::to_string(page) +
           "&type=&__rnd=1504068705105";
}

Text DefaultCoverUrl() {
    return Text("http://wx1.sinaimg.cn/thumb150/") + kDefaultCoverName;
}

Text PictureUrl(const Text& picHost, const Text& sizeSegment, const Text& picName) {
    return picHost + sizeSegment + picName;
}
