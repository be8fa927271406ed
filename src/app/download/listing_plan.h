#pragma once
// How far an album's listing goes. No number the service gives is trusted alone: while pages
// come full the next one is asked for, whatever the total says; a page is never cut short; a
// page that brings only photos already listed (a service that repeats a page) ends it. And an
// update of an album listed before stops at known ground, so an unchanged album costs one page
// and new photos the pages they are on: once a page brings only photos the last listing knew,
// and the service's total is what was known plus what is new, the photos further on are the
// ones known already, and those not in the folder are fetched from the record.
//
// Plain logic that also builds natively.
#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "app/download/album_record.h"
#include "app/records.h"

// Photos a full page of the list holds.
inline constexpr int kPhotosPerPage = 32;

// The pages a total promises.
inline int PagesFor(std::int64_t total) {
    if (total <= 0) return 0;
    return static_cast<int>(
        std::min<std::int64_t>((total + kPhotosPerPage - 1) / kPhotosPerPage, 1 << 20));
}

class ListingPlan {
  public:
    // known: the album as the record's last whole listing left it (newest first), empty when
    // there is none; full: list to the end whatever is known (the user asked for a check).
    ListingPlan(std::vector<ListedPhotoEntry> known, bool full);

    // The service's total, from the first page.
    void NoteTotal(std::int64_t total) { total_ = total; }

    // One page, in page order, as it came. Gives the page's photos that this listing had not
    // brought yet, in their order; more says whether the next page is to be asked for.
    struct Step {
        std::vector<PhotoRecord> fresh;
        bool more = false;
    };
    Step Page(const std::vector<PhotoRecord>& photos);
    // A page could not be had: what follows it is unknown, so the listing is not whole.
    void PageFailed() { whole_ = false; }

    // The listing stopped at known ground: the photos the last listing knew that no page of
    // this one brought, newest first, for the driver to look for in the folder and fetch.
    bool AtKnownGround() const { return atKnownGround_; }
    // An update of an album the record knows: it may stop at any page.
    bool Update() const { return !full_; }
    std::vector<ListedPhotoEntry> NotListedAgain() const;

    // What the record keeps of this listing: an update's new photos after known ground, every
    // photo after a listing to the end, nothing when a page never came (the next run lists
    // again). Call once the listing is over.
    Text RecordLines(const Text& ownerId, const Text& albumId) const;

  private:
    bool KnownGround(const std::vector<PhotoRecord>& photos) const;

    std::vector<ListedPhotoEntry> known_;
    std::unordered_set<Text> knownNames_;
    std::unordered_set<Text> listedNames_;
    std::vector<ListedPhotoEntry> listed_;  // this listing's photos, in order
    int newSeen_ = 0;
    std::int64_t total_ = -1;
    bool full_;
    bool whole_ = true;
    bool ended_ = false;
    bool atKnownGround_ = false;
};
