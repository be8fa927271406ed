#pragma once
// Profile analysis: who owns the typed home page, and that owner's albums with their covers.
#include <memory>

#include "app/app_state.h"
#include "app/service/service_answers.h"

class AlbumCatalogue {
  public:
    AlbumCatalogue(AppState& app, std::shared_ptr<FlowToken> token);

    // The body of the analysis thread.
    void RunAnalysis();
    // True when the page named both an owner id and a viewer id.
    bool LoadOwnerProfile(const Text& address);
    void LoadAlbumCatalogue();

    // The album item's line, such as "[旅行] 25张".
    static Text ItemText(const AlbumRecord& album);

  private:
    // The albums that arrived, and whether every page of the list did.
    struct Listing {
        std::vector<AlbumRecord> albums;
        bool complete = true;
    };
    bool Current() const;
    ServiceAnswer FetchSignedIn(ServiceRequest request, const RetryPolicy& policy);
    AlbumPage FetchAlbumPage(const Text& ownerId, int page);
    Listing ListAlbums(const Text& ownerId);
    bool ShowCatalogue(const std::vector<AlbumRecord>& albums);
    AppState& app_;
    std::shared_ptr<FlowToken> token_;
};

// Command 20001, on the window thread: empties the lists and starts a new analysis.
void StartAnalysis(AppState& app);
