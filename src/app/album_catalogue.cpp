#include "app/album_catalogue.h"

#include "app/service_answers.h"
#include "app/service_fetch.h"
#include "app/texts.h"
#include "text/json_document.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

constexpr int kAlbumsPerPage = 20;

Text AlbumPath(int index, const char* column) {
    return JoinTexts("data.album_list.[", std::to_string(index), column);
}

}  // namespace

AlbumCatalogue::AlbumCatalogue(AppState& app, std::shared_ptr<FlowToken> token)
    : app_(app), token_(std::move(token)) {}

bool AlbumCatalogue::Current() const {
    return app_.analysisThread.IsCurrent(token_);
}

Text AlbumCatalogue::ItemText(const AlbumRecord& album) {
    return JoinTexts("[", album.caption, "] ", std::to_string(album.photoCount), kPhotosUnit);
}

AlbumRecord AlbumCatalogue::ReadAlbum(JsonDocument& doc, int i) {
    AlbumRecord a;
    a.caption = doc.GetText(AlbumPath(i, "].caption"));
    const Text typePath = AlbumPath(i, "].type");
    a.albumType = doc.KindOf(typePath) == JsonString ? doc.GetText(typePath)
                                                     : std::to_string(doc.GetInteger(typePath));
    a.albumId = doc.GetText(AlbumPath(i, "].album_id"));
    a.updatedAt = doc.GetText(AlbumPath(i, "].updated_at"));
    a.photoCount = static_cast<std::int32_t>(doc.GetInteger(AlbumPath(i, "].count.photos")));
    a.createdAt = doc.GetText(AlbumPath(i, "].created_at"));
    a.coverUrl = doc.GetText(AlbumPath(i, "].cover_pic"));
    if (a.coverUrl.empty()) a.coverUrl = DefaultCoverUrl();
    return a;
}

void AlbumCatalogue::RunAnalysis() {
    Text address;
    app_.OnWindowIf(app_.analysisThread, token_, [&] { address = app_.view.HomeAddress(); });
    if (token_->StopRequested()) return;
    if (LoadOwnerProfile(address)) LoadAlbumCatalogue();
}

bool AlbumCatalogue::LoadOwnerProfile(const Text& address) {
    const Text cookies = app_.Field(&AppState::cookieText);
    const Text page = GetWithLoginCookies(HomePageUrl(address), cookies, true);
    if (token_->StopRequested()) return false;
    std::lock_guard<std::mutex> guard(app_.fieldsMutex);
    app_.ownerId = PageVariable(page, "oid");
    app_.viewerId = PageVariable(page, "uid");
    app_.viewerNick = PageVariable(page, "nick");
    app_.ownerNick = PageVariable(page, "onick");
    app_.avatarUrl = PageVariable(page, "avatar_large");
    return !app_.ownerId.empty() && !app_.viewerId.empty();
}

void AlbumCatalogue::LoadAlbumCatalogue() {
    Text cookies, owner;
    {
        std::lock_guard<std::mutex> guard(app_.fieldsMutex);
        cookies = app_.cookieText;
        owner = app_.ownerId;
    }
    // The list comes 20 albums a page; ask until "data.total" albums arrived or a page is empty,
    // so owners with many albums are listed whole and only with albums the service sent.
    std::vector<AlbumRecord> found;
    std::int64_t total = 0;
    for (int page = 1;; ++page) {
        if (token_->StopRequested()) return;
        JsonDocument doc;
        doc.Parse(GetWithLoginCookies(AlbumListUrl(owner, page), cookies, false), true);
        if (page == 1) total = doc.GetInteger("data.total");
        const int n = doc.CountOf("data.album_list");
        for (int i = 0; i < n && static_cast<std::int64_t>(found.size()) < total; ++i)
            found.push_back(ReadAlbum(doc, i));
        if (n == 0 || static_cast<std::int64_t>(found.size()) >= total ||
            page > total / kAlbumsPerPage + 1)
            break;
    }
    {
        std::lock_guard<std::mutex> guard(app_.fieldsMutex);
        if (token_->StopRequested()) return;
        app_.albums = found;
    }
    for (const AlbumRecord& album : found) {
        if (token_->StopRequested()) return;
        const ByteBuffer cover = FetchBytes(album.coverUrl);
        if (!app_.OnWindowIf(app_.analysisThread, token_, [&] { app_.view.AddCoverImage(cover); }))
            return;
    }
    const bool listed = app_.OnWindowIf(app_.analysisThread, token_, [&] {
        for (size_t i = 0; i < found.size(); ++i)
            app_.view.AppendAlbumItem(ItemText(found[i]), static_cast<int>(i));
    });
    if (listed) app_.StatusIf(app_.analysisThread, token_, kStatusCatalogueDone);
}

void StartAnalysis(AppState& app) {
    // Retire the running analysis first, so nothing of its catalogue lands after the clearing.
    app.analysisThread.Stop();
    {
        std::lock_guard<std::mutex> guard(app.fieldsMutex);
        app.albums.clear();
    }
    app.view.SetStatus(kStatusAnalysing);
    app.view.ClearCoverImages();
    app.view.ClearAlbumItems();
    app.analysisThread.Start(
        [&app](const std::shared_ptr<FlowToken>& token) {
            AlbumCatalogue(app, token).RunAnalysis();
        },
        L"analysis");
}
