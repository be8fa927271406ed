#include "app/album_catalogue.h"

#include "app/service_answers.h"
#include "app/service_fetch.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"
#include "web/web_session.h"

namespace {

constexpr int kAlbumsPerPage = 20;

}  // namespace

AlbumCatalogue::AlbumCatalogue(AppState& app, std::shared_ptr<FlowToken> token)
    : app_(app), token_(std::move(token)) {}

bool AlbumCatalogue::Current() const {
    return app_.analysisThread.IsCurrent(token_);
}

Text AlbumCatalogue::ItemText(const AlbumRecord& album) {
    return JoinTexts("[", album.caption, "] ", std::to_string(album.photoCount), kPhotosUnit);
}

void AlbumCatalogue::RunAnalysis() {
    Text address;
    app_.OnWindowIf(app_.analysisThread, token_, [&] { address = app_.view.HomeAddress(); });
    if (token_->StopRequested()) return;
    if (LoadOwnerProfile(address)) LoadAlbumCatalogue();
}

bool AlbumCatalogue::LoadOwnerProfile(const Text& address) {
    const SitePage page =
        ReadSitePage(GetWithLoginCookies(HomePageUrl(address), app_.login.Cookies(), true));
    if (token_->StopRequested()) return false;
    // Checked and changed in one step on the window thread, where a newer analysis starts: a
    // retired analysis can never overwrite the newer one's owner.
    const bool current = app_.OnWindowIf(app_.analysisThread, token_, [&] {
        app_.owner.SetOwner(page.oid, page.onick);
        app_.login.SetViewerId(page.uid);
    });
    return current && !page.oid.empty() && !page.uid.empty();
}

// The list comes 20 albums a page; ask until "data.total" albums arrived or a page is empty, so
// owners with many albums are listed whole and only with albums the service sent.
std::vector<AlbumRecord> AlbumCatalogue::ListAlbums(const Text& ownerId, const Text& cookies) {
    std::vector<AlbumRecord> found;
    std::int64_t total = 0;
    for (int page = 1;; ++page) {
        if (token_->StopRequested()) return found;
        const AlbumPage listed =
            ReadAlbumPage(GetWithLoginCookies(AlbumListUrl(ownerId, page), cookies, false));
        if (page == 1) total = listed.total;
        for (const AlbumRecord& album : listed.albums) {
            if (static_cast<std::int64_t>(found.size()) >= total) break;
            found.push_back(album);
            if (found.back().coverUrl.empty()) found.back().coverUrl = DefaultCoverUrl();
        }
        if (listed.albums.empty() || static_cast<std::int64_t>(found.size()) >= total ||
            page > total / kAlbumsPerPage + 1)
            return found;
    }
}

bool AlbumCatalogue::ShowCatalogue(const std::vector<AlbumRecord>& albums) {
    for (const AlbumRecord& album : albums) {
        if (token_->StopRequested()) return false;
        const ByteBuffer cover = FetchBytes(album.coverUrl);
        if (!app_.OnWindowIf(app_.analysisThread, token_, [&] { app_.view.AddCoverImage(cover); }))
            return false;
    }
    return app_.OnWindowIf(app_.analysisThread, token_, [&] {
        for (size_t i = 0; i < albums.size(); ++i)
            app_.view.AppendAlbumItem(ItemText(albums[i]), static_cast<int>(i));
    });
}

void AlbumCatalogue::LoadAlbumCatalogue() {
    const std::vector<AlbumRecord> found =
        ListAlbums(app_.owner.Get().ownerId, app_.login.Cookies());
    if (token_->StopRequested()) return;
    if (!app_.OnWindowIf(app_.analysisThread, token_, [&] { app_.owner.SetAlbums(found); })) return;
    if (ShowCatalogue(found)) app_.StatusIf(app_.analysisThread, token_, kStatusCatalogueDone);
}

void StartAnalysis(AppState& app) {
    // Retire the running analysis first, so nothing of its catalogue lands after the clearing.
    app.analysisThread.Stop();
    app.owner.Clear();
    app.view.SetStatus(kStatusAnalysing);
    app.view.ClearCoverImages();
    app.view.ClearAlbumItems();
    app.analysisThread.Start(
        [&app](const std::shared_ptr<FlowToken>& token) {
            AlbumCatalogue(app, token).RunAnalysis();
        },
        L"analysis");
}
