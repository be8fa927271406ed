#include "app/album_catalogue.h"

#include <windows.h>

#include "app/kept_settings.h"
#include "app/service/service_answers.h"
#include "app/service/service_client.h"
#include "app/signin/signin_renewal.h"
#include "app/texts.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

namespace {

constexpr int kAlbumsPerPage = 20;

}  // namespace

// A sign-in the service no longer takes, in whatever shape it says so, is renewed by a new QR
// scan while the analysis waits; then the page is asked for again.
ServiceAnswer AlbumCatalogue::FetchSignedIn(ServiceRequest request, const RetryPolicy& policy) {
    request.cookies = SendCookies::kLogin;
    return FetchWithSignIn(app_, *token_, std::move(request), policy,
                           [this](const Text& used) { AskForNewSignIn(app_, "analysis", used); });
}

AlbumCatalogue::AlbumCatalogue(AppState& app, std::shared_ptr<FlowToken> token)
    : app_(app), token_(std::move(token)) {}

bool AlbumCatalogue::Current() const {
    return app_.AnalysisFlow().IsCurrent(token_);
}

Text AlbumCatalogue::ItemText(const AlbumRecord& album) {
    return JoinTexts("[", album.caption, "] ", std::to_string(album.photoCount), kPhotosUnit);
}

void AlbumCatalogue::RunAnalysis() {
    Text address;
    app_.OnWindowIf(app_.AnalysisFlow(), token_, [&] { address = app_.View().HomeAddress(); });
    if (token_->StopRequested()) return;
    if (LoadOwnerProfile(address)) LoadAlbumCatalogue();
}

bool AlbumCatalogue::LoadOwnerProfile(const Text& address) {
    const SitePage page = ReadSitePage(
        FetchSignedIn(ServiceRequest(HomePageUrl(address)), RetryPolicy()).body.FromUtf8());
    if (token_->StopRequested()) return false;
    // Checked and changed in one step on the window thread, where a newer analysis starts: a
    // retired analysis can never overwrite the newer one's owner.
    const bool current = app_.OnWindowIf(app_.AnalysisFlow(), token_, [&] {
        app_.Owner().SetOwner(page.oid, page.onick);
        app_.Login().SetViewerId(page.uid);
    });
    return current && !page.oid.empty() && !page.uid.empty();
}

// A page that fails (no answer, or not the list's shape) is asked for again twice after a
// short pause, as pictures are.
AlbumPage AlbumCatalogue::FetchAlbumPage(const Text& ownerId, int page) {
    AlbumPage listed;
    RetryPolicy policy{kFetchAttempts, kRetryPauseMs, [&](const ServiceAnswer& answer) {
                           listed = ReadAlbumPage(answer.body.AsCodePage());
                           return listed.ok;
                       }};
    ServiceRequest request(AlbumListUrl(ownerId, page));
    request.pace = &app_.Client().ListingPace();
    if (!FetchSignedIn(request, policy).accepted) return AlbumPage{};
    return listed;
}

// The list comes 20 albums a page; ask until "data.total" albums arrived or a page is empty, so
// owners with many albums are listed whole and only with albums the service sent. A page that
// never came makes the listing incomplete, which the final status must not hide.
AlbumCatalogue::Listing AlbumCatalogue::ListAlbums(const Text& ownerId) {
    Listing found;
    std::int64_t total = 0;
    for (int page = 1;; ++page) {
        if (token_->StopRequested()) return found;
        const AlbumPage listed = FetchAlbumPage(ownerId, page);
        if (!listed.ok) {
            found.complete = false;
            return found;
        }
        if (page == 1) total = listed.total;
        for (const AlbumRecord& album : listed.albums) {
            if (static_cast<std::int64_t>(found.albums.size()) >= total) break;
            found.albums.push_back(album);
            if (found.albums.back().coverUrl.empty())
                found.albums.back().coverUrl = DefaultCoverUrl();
        }
        if (listed.albums.empty() || static_cast<std::int64_t>(found.albums.size()) >= total ||
            page > total / kAlbumsPerPage + 1)
            return found;
    }
}

bool AlbumCatalogue::ShowCatalogue(const std::vector<AlbumRecord>& albums) {
    for (const AlbumRecord& album : albums) {
        if (token_->StopRequested()) return false;
        const ByteBuffer cover =
            app_.Client().Fetch(ServiceRequest{album.coverUrl}, *token_).body.TakeBytes();
        if (!app_.OnWindowIf(app_.AnalysisFlow(), token_,
                             [&] { app_.View().AddCoverImage(cover); }))
            return false;
    }
    return app_.OnWindowIf(app_.AnalysisFlow(), token_, [&] {
        for (size_t i = 0; i < albums.size(); ++i)
            app_.View().AppendAlbumItem(ItemText(albums[i]), static_cast<int>(i));
    });
}

void AlbumCatalogue::LoadAlbumCatalogue() {
    const Listing found = ListAlbums(app_.Owner().Get().ownerId);
    if (token_->StopRequested()) return;
    if (!app_.OnWindowIf(app_.AnalysisFlow(), token_,
                         [&] { app_.Owner().SetAlbums(found.albums); }))
        return;
    // What did arrive is shown either way; the status says whether that is all.
    if (ShowCatalogue(found.albums))
        app_.StatusIf(app_.AnalysisFlow(), token_,
                      found.complete ? kStatusCatalogueDone : kStatusCatalogueFailed);
}

void StartAnalysis(AppState& app) {
    // Retire the running analysis first, so nothing of its catalogue lands after the clearing.
    app.AnalysisFlow().Stop();
    app.Owner().Clear();
    app.Settings().SetHomePage(app.View().HomeAddress());
    KeepSettings(app);
    app.View().SetStatus(kStatusAnalysing);
    app.View().ClearCoverImages();
    app.View().ClearAlbumItems();
    // No thread for it leaves the window as it is, analysing nothing; the log tells why.
    if (!app.AnalysisFlow().Start(
            [&app](const std::shared_ptr<FlowToken>& token) {
                AlbumCatalogue(app, token).RunAnalysis();
            },
            L"analysis"))
        app.Log().AddLine("analysis: no thread could be started for it");
}
