#include "app/service_answers.h"

#include "text/json_document.h"
#include "text/text_helpers.h"

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

Text Indexed(const char* list, int index, const char* field) {
    return JoinTexts("data.", list, ".[", std::to_string(index), "].", field);
}

PhotoRecord ReadPhoto(JsonDocument& doc, int i) {
    PhotoRecord photo;
    photo.caption = doc.GetText(Indexed("photo_list", i, "caption_render"));
    photo.picHost = doc.GetText(Indexed("photo_list", i, "pic_host"));
    photo.picName = doc.GetText(Indexed("photo_list", i, "pic_name"));
    photo.timestamp =
        static_cast<std::int32_t>(doc.GetInteger(Indexed("photo_list", i, "timestamp")));
    return photo;
}

AlbumRecord ReadAlbum(JsonDocument& doc, int i) {
    AlbumRecord a;
    a.caption = doc.GetText(Indexed("album_list", i, "caption"));
    const Text typePath = Indexed("album_list", i, "type");
    a.albumType = doc.KindOf(typePath) == JsonString ? doc.GetText(typePath)
                                                     : std::to_string(doc.GetInteger(typePath));
    a.albumId = doc.GetText(Indexed("album_list", i, "album_id"));
    a.updatedAt = doc.GetText(Indexed("album_list", i, "updated_at"));
    a.photoCount =
        static_cast<std::int32_t>(doc.GetInteger(Indexed("album_list", i, "count.photos")));
    a.createdAt = doc.GetText(Indexed("album_list", i, "created_at"));
    a.coverUrl = doc.GetText(Indexed("album_list", i, "cover_pic"));
    return a;
}

bool ParseAnswer(JsonDocument& doc, const Text& answer) {
    return !answer.empty() && doc.Parse(answer, true);
}

// A listing page: "data.total" and the records of the list at listPath. False when the answer
// does not parse or holds no such list (an empty list is a list).
template <typename Record>
bool ReadList(const Text& answer, const char* listPath, std::int64_t& total,
              std::vector<Record>& out, Record (*readOne)(JsonDocument&, int)) {
    JsonDocument doc;
    if (!ParseAnswer(doc, answer) || doc.KindOf(listPath) != JsonArray) return false;
    total = doc.GetInteger("data.total");
    const int n = doc.CountOf(listPath);
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out.push_back(readOne(doc, i));
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
