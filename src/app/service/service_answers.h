#pragma once
// Reading the service's answers: page variables of HTML pages, script-callback wrappers, and
// each kind of answer turned into a record. Plain text work with no platform calls, so it also
// builds natively.
#include <cstdint>
#include <vector>

#include "app/records.h"
#include "text/text_types.h"

// The value of $CONFIG['name']='...'; in a page, or empty.
Text PageVariable(const Text& page, const char* name);

// The JSON inside a script-callback answer such as STK_1({...}); empty when there is none.
Text UnwrapCallback(const Text& answer);

// ---------------------------------------------------------------------------------------------
// Each kind of answer read into a record, so the flows never spell out a JSON path. `ok` says
// the answer had the shape the service promises; a failed or foreign answer reads as not ok.

// A page of the photo list ("data.total" and "data.photo_list").
struct PhotoPage {
    bool ok = false;  // parsed, with a photo list (possibly empty)
    std::int64_t total = 0;
    std::vector<PhotoRecord> photos;
};
PhotoPage ReadPhotoPage(const Text& answer);

// A page of the album list ("data.total" and "data.album_list"). Covers are as sent (empty
// when the album has none).
struct AlbumPage {
    bool ok = false;
    std::int64_t total = 0;
    std::vector<AlbumRecord> albums;
};
AlbumPage ReadAlbumPage(const Text& answer);

// The login host's answer to "give me a QR code", script callback and all.
struct QrImageAnswer {
    bool ok = false;  // retcode 20000000 and msg "succ"
    Text qrId;
    Text image;
};
QrImageAnswer ReadQrImageAnswer(const Text& answer);

// The scan state of a QR code; retcode 0 when the answer did not parse.
struct QrCheckAnswer {
    std::int32_t retcode = 0;
    Text alt;  // the login ticket, once confirmed
};
QrCheckAnswer ReadQrCheckAnswer(const Text& answer);

// The address of the cross-domain answer that hands out the main site's cookies (the fourth
// of its list), or empty.
Text ReadCookieExchangeUrl(const Text& answer);

// The page variables of a main-site page.
struct SitePage {
    Text uid;     // the signed-in viewer
    Text nick;    // the viewer's nick
    Text avatar;  // the viewer's large avatar
    Text oid;     // the owner of the page
    Text onick;   // the owner's nick
};
SitePage ReadSitePage(const Text& page);

// True when an answer asks for a new sign-in instead of giving what was asked for: the JSON
// answer of an expired login ({"ok":-100,"url":...}), the photo host's "not logged in"
// ({"result":false,"code":"A0003",...}) or the main site's page for visitors
// ($CONFIG['islogin']='0';). Bodies that are neither JSON nor a page are not read.
bool AsksForSignIn(const ByteBuffer& body);

// True when the main site's answer to a sign-in without a viewer is a refusal the service makes
// recognisably: its own "not signed in" page or answer (as AsksForSignIn), or a page that sends
// the visitor on to the login hosts. An empty page, a proxy's or a captive portal's page is not:
// it says nothing about the sign-in, which is then kept.
bool RefusesSignIn(const ByteBuffer& page);
