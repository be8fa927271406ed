#include "app/download/listing_plan.h"

#include <utility>

#include "app/download/file_naming.h"

ListingPlan::ListingPlan(std::vector<ListedPhotoEntry> known, bool full)
    : known_(std::move(known)), full_(full || known_.empty()) {
    for (const ListedPhotoEntry& photo : known_) knownNames_.insert(photo.picName);
}

bool ListingPlan::KnownGround(const std::vector<PhotoRecord>& photos) const {
    if (full_ || photos.empty()) return false;
    for (const PhotoRecord& photo : photos) {
        if (!knownNames_.count(photo.picName)) return false;
    }
    // A photo removed upstream, an album that shrank or a total that lies: the counts disagree
    // and the listing goes to the end rather than skip a photo.
    return total_ == static_cast<std::int64_t>(known_.size()) + newSeen_;
}

ListingPlan::Step ListingPlan::Page(const std::vector<PhotoRecord>& photos) {
    Step step;
    if (ended_) return step;
    // A page of photos this listing brought already is a service repeating itself; any other
    // page is taken whole, as it came.
    bool repeated = !photos.empty();
    for (const PhotoRecord& photo : photos) {
        if (listedNames_.count(photo.picName) == 0) repeated = false;
    }
    if (!repeated) {
        for (const PhotoRecord& photo : photos) {
            listedNames_.insert(photo.picName);
            if (!knownNames_.count(photo.picName)) ++newSeen_;
            listed_.push_back(
                ListedPhotoEntry{photo.picHost, photo.picName, photo.timestamp,
                                 PictureFileName(photo.timestamp, photo.caption, photo.picName)});
        }
        step.fresh = photos;
    }
    if (KnownGround(photos)) {
        atKnownGround_ = true;
    } else {
        // An empty page, one that is not full and one that only repeats photos already listed
        // are the end of the list.
        step.more = !step.fresh.empty() && photos.size() >= static_cast<size_t>(kPhotosPerPage);
    }
    ended_ = !step.more;
    return step;
}

std::vector<ListedPhotoEntry> ListingPlan::NotListedAgain() const {
    std::vector<ListedPhotoEntry> rest;
    if (!atKnownGround_) return rest;
    for (const ListedPhotoEntry& photo : known_) {
        if (!listedNames_.count(photo.picName)) rest.push_back(photo);
    }
    return rest;
}

Text ListingPlan::RecordLines(const Text& ownerId, const Text& albumId) const {
    if (!whole_ || !ended_ || total_ < 0) return Text();
    const bool update = atKnownGround_;
    Text lines =
        FormatListingStart(ownerId, albumId, update ? ListingKind::kUpdate : ListingKind::kFull);
    int count = 0;
    for (const ListedPhotoEntry& photo : listed_) {
        if (update && knownNames_.count(photo.picName)) continue;
        const Text line = FormatListedLine(ownerId, albumId, count + 1, photo);
        // A photo that cannot be recorded leaves the listing unrecorded: a listing with a
        // photo missing would let a later update skip it.
        if (line.empty()) return Text();
        lines += line;
        ++count;
    }
    return lines + FormatListingEnd(ownerId, albumId, total_, count);
}
