#include "app/service/service_answers.h"

#include "text/json_document.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

Text PageVariable(const Text& page, const char* name) {
    return TextBetween(page, JoinTexts("$CONFIG['", name, "']='"), "';");
}

Text UnwrapCallback(const Text& answer) {
    // The JSON may itself hold parentheses (the service's addresses do), so the wrapper ends at
    // the last ")", not the first.
    const int open = FindText(answer, "(");
    const size_t close = answer.rfind(')');
    if (open < 1 || close == Text::npos || close < static_cast<size_t>(open)) return Text();
    return answer.substr(open, close - open);
}

namespace {

// Each record is read from its own element node, so no path text is built per field.
PhotoRecord ReadPhoto(JsonDocument& photo) {
    PhotoRecord record;
    record.caption = photo.GetText("caption_render");
    record.picHost = photo.GetText("pic_host");
    record.picName = photo.GetText("pic_name");
    record.timestamp = static_cast<std::int32_t>(photo.GetInteger("timestamp"));
    return record;
}

AlbumRecord ReadAlbum(JsonDocument& album) {
    AlbumRecord a;
    a.caption = album.GetText("caption");
    a.albumType = album.KindOf("type") == JsonString ? album.GetText("type")
                                                     : std::to_string(album.GetInteger("type"));
    a.albumId = album.GetText("album_id");
    a.updatedAt = album.GetText("updated_at");
    a.photoCount = static_cast<std::int32_t>(album.GetInteger("count.photos"));
    a.createdAt = album.GetText("created_at");
    a.coverUrl = album.GetText("cover_pic");
    return a;
}

// The body as it came: UTF-8 when it is valid UTF-8, code page 936 otherwise.
bool ParseAnswer(JsonDocument& doc, const Text& answer) {
    return !answer.empty() && doc.ParseAnswer(answer, true);
}

// A listing page: "data.total" and the records of the list at listPath. False when the answer
// does not parse or holds no such list (an empty list is a list).
template <typename Record>
bool ReadList(const Text& answer, const char* listPath, std::int64_t& total,
              std::vector<Record>& out, Record (*readOne)(JsonDocument&)) {
    JsonDocument doc;
    if (!ParseAnswer(doc, answer) || doc.KindOf(listPath) != JsonArray) return false;
    total = doc.GetInteger("data.total");
    const int n = doc.CountOf(listPath);
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        JsonDocument element = doc.GetElementNode(listPath, i);
        out.push_back(readOne(element));
    }
    return true;
}

}  // namespace

PhotoPage ReadPhotoPage(const Text& answer) {
    PhotoPage page;
    page.ok = ReadList(answer, "data.photo_list", page.total, page.photos, ReadPhoto);
    return page;
}

AlbumPage ReadAlbumPage(const Text& answer) {
    AlbumPage page;
    page.ok = ReadList(answer, "data.album_list", page.total, page.albums, ReadAlbum);
    return page;
}

QrImageAnswer ReadQrImageAnswer(const Text& answer) {
    QrImageAnswer qr;
    JsonDocument doc;
    if (!ParseAnswer(doc, UnwrapCallback(answer))) return qr;
    qr.ok = doc.GetInteger("retcode") == 20000000 && doc.GetText("msg") == "succ";
    qr.qrId = doc.GetText("data.qrid");
    qr.image = doc.GetText("data.image");
    return qr;
}

QrCheckAnswer ReadQrCheckAnswer(const Text& answer) {
    QrCheckAnswer check;
    JsonDocument doc;
    if (!ParseAnswer(doc, UnwrapCallback(answer))) return check;
    check.retcode = static_cast<std::int32_t>(doc.GetInteger("retcode"));
    check.alt = doc.GetText("data.alt");
    return check;
}

Text ReadCookieExchangeUrl(const Text& answer) {
    JsonDocument doc;
    if (!ParseAnswer(doc, UnwrapCallback(answer))) return Text();
    return doc.GetText("crossDomainUrlList.[3]");
}

SitePage ReadSitePage(const Text& page) {
    SitePage site;
    site.uid = PageVariable(page, "uid");
    site.nick = PageVariable(page, "nick");
    site.avatar = PageVariable(page, "avatar_large");
    site.oid = PageVariable(page, "oid");
    site.onick = PageVariable(page, "onick");
    return site;
}

bool AsksForSignIn(const ByteBuffer& body) {
    // Such answers are short; a picture or a long page is never one of them.
    constexpr size_t kLongestSignInAnswer = size_t{64} << 10;
    const size_t first = body.find_first_not_of(" \t\r\n");
    if (first == ByteBuffer::npos || body.size() > kLongestSignInAnswer) return false;
    if (body[first] == '<') return PageVariable(body, "islogin") == "0";
    JsonDocument doc;
    if (body[first] != '{' || !ParseAnswer(doc, body)) return false;
    if (doc.KindOf("ok") == JsonInteger && doc.GetInteger("ok") == -100) return true;
    return doc.KindOf("result") == JsonBoolean && !doc.GetBoolean("result") &&
           doc.GetText("code") == "A0003";
}

bool RefusesSignIn(const ByteBuffer& page) {
    if (AsksForSignIn(page)) return true;
    constexpr size_t kLongestRefusal = size_t{64} << 10;
    if (page.size() > kLongestRefusal) return false;
    for (const char* host : {kLoginHost, kPassportHost}) {
        if (page.find(JoinTexts("//", host, "/")) != ByteBuffer::npos) return true;
    }
    return false;
}
