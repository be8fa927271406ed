#pragma once
// The service's host names and every address the program requests, in one place.
//
// The login cookies travel only over https and only to the service's own hosts: the main site,
// the photo host and the QR picture are requested over https, an http address of a service host
// is upgraded, and MayCarryLoginCookies says whether a given address may carry them.
#include <vector>

#include "text/text_types.h"

inline constexpr const char* kLoginHost = "login.sina.com.cn";
inline constexpr const char* kMainSiteHost = "weibo.com";
inline constexpr const char* kPassportHost = "passport.weibo.com";
inline constexpr const char* kPhotoHost = "photo.weibo.com";
// The main site's domain sent in the cross-domain login query.
inline constexpr const char* kMainSiteDomain = "weibo.com";
// The picture shown for an album without a cover (on the first image host).
inline constexpr const char* kDefaultCoverName = "default_album_cover.jpg";

// The browser every request of the program says it is. The service answers 432 to browsers it
// no longer trusts, so this follows the current desktop browsers; change it as they move on.
inline constexpr const char* kBrowserUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

// The site every picture request names as its Referer: the image hosts refuse pictures
// requested from anywhere else.
inline constexpr const char* kSiteReferer = "https://weibo.com/";

// Every host name the program talks to: the four above, wx1..wx4.sinaimg.cn and
// tva1..tva4.sinaimg.cn.
const std::vector<Text>& ServiceHosts();

// True for a host of the list above and any other host under weibo.com (ASCII case ignored; a
// trailing dot and a ":port" are ignored). Never true for look-alikes such as "evilweibo.com"
// or "weibo.com.evil.net".
bool IsServiceHost(const Text& host);

// "http://" in front unless the address starts with http:// or https:// (any case); an address
// of 7 bytes or fewer always gets it. The same rule WebSession::Open applies.
Text CompleteScheme(const Text& url);

// The lower-cased scheme ("http", "https") of an address with one, else empty.
Text UrlScheme(const Text& url);
// The host of an absolute address (after any "user@", without ":port"), lower-cased; else empty.
Text UrlHost(const Text& url);

// The hosts an address's rate limit applies to: the image hosts limit as one ("sinaimg.cn"),
// every other host on its own (its name).
Text RateLimitScope(const Text& url);

// True for an address of an image host (wx1..wx4, tva1..tva4 and any other under sinaimg.cn).
bool IsImageHostUrl(const Text& url);
// True for the picture the image hosts answer in place of one its owner removed (a redirect to
// ".../images/default_d_h_large.gif").
bool IsPlaceholderUrl(const Text& url);

// An http address of a service host becomes https; any other address is returned unchanged.
Text UpgradeToHttps(const Text& url);

// Whether the login cookies may be sent with a request to this address: https and a service
// host. Scheme-less addresses count as http (that is how the engine opens them).
bool MayCarryLoginCookies(const Text& url);

// Login host (https).
Text QrImageUrl();
Text QrCheckUrl(const Text& qrId);
Text CrossDomainLoginUrl(const Text& loginAlt);
// The QR picture: the answer's "data.image" comes without its scheme ("//host/path"); it is
// requested over https.
Text QrPictureUrl(const Text& imageAddress);

// Main site (https): the login check page and a typed home-page address (scheme completed,
// upgraded to https when it names a service host; surrounding blanks removed).
Text MainSiteUrl();
Text HomePageUrl(const Text& typedAddress);

// An image address the service gives without its scheme ("//tva1.sinaimg.cn/x.jpg"), such as the
// avatar: "http:" in front of "//"; an address that already has a scheme is kept.
Text AvatarUrl(const Text& avatarAddress);

// Photo host (https).
Text AlbumListUrl(const Text& ownerId, int page = 1);
Text PhotoListUrl(const Text& ownerId, const Text& albumId, int page);

// Image host.
Text DefaultCoverUrl();
// picHost + sizeSegment + picName, joined as they are.
Text PictureUrl(const Text& picHost, const Text& sizeSegment, const Text& picName);
