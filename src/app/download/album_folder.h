#pragma once
// Everything on disk for one album of a run: its folder under the save folder, the folder of
// pictures under way beside it, the names its pictures get, their files and file times, and the
// folder's record of what was written into it, which tells what is already there.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/flow_slot.h"
#include "app/download/album_record.h"
#include "app/records.h"
#include "text/text_types.h"

class AlbumFolder {
  public:
    // Makes save folder \ owner nick \ album caption \ and the folder of pictures under way
    // beside the owner's albums. Names from the service become safe folder names, so they cannot
    // climb out of the save folder or hold characters a folder name cannot.
    static std::shared_ptr<AlbumFolder> Make(const Text& saveFolder, const Text& ownerNick,
                                             const Text& ownerId, const AlbumRecord& album,
                                             PictureSize size);
    // The folders as they are, nothing made. Empty partFolder: pictures are written in the album
    // folder itself. Empty ownerId: no record is kept (nothing is skipped, nothing recorded).
    AlbumFolder(const Text& albumFolder, const Text& partFolder, PictureSize size,
                const Text& ownerId = Text(), const Text& albumId = Text());

    const Text& Path() const { return albumFolder_; }
    PictureSize Size() const { return size_; }

    // Reads the folder's record: the album as its last whole listing left it (newest first),
    // empty when there is none. Before ReadWhatIsThere.
    std::vector<ListedPhotoEntry> ReadRecord();
    // Checks what the record says was written against the folder's files: before the first
    // photo is asked about. Returns how many pictures are there as recorded.
    size_t ReadWhatIsThere();
    // The picture as recorded at this album's size or a larger one (a smaller size never
    // replaces a larger), its file there with the recorded length when the album's run began,
    // under the name the photo's own naming gives, and beginning as a picture does: it need not
    // be fetched again.
    bool AlreadyThere(const Text& picName, const Text& fileName) const;
    // Asked only while listing; the names of a big album's pictures would stay with the run.
    void ForgetWhatIsThere();

    // The photo's file name in the folder; empty when it would not land inside it.
    Text FileNameOf(const PhotoRecord& photo) const;
    // Writes the picture under fileName through tempName in the part folder, the file taking the
    // photo's time, and records it once it is there. 0, the system error of the step that
    // failed, or ERROR_CANCELLED when the token asked to stop before the rename (nothing is left
    // behind then).
    DWORD Write(const PhotoRecord& photo, const Text& fileName, const ByteBuffer& body,
                const Text& tempName, const FlowToken& token) const;

    // Adds an album's listing (the record's listing lines) to the record in one write.
    [[nodiscard]] bool RecordListing(const Text& lines) const;

    // The folder of pictures under way goes with the run that needed it; one that still holds
    // another run's pictures stays (removing a folder that is not empty fails).
    void RemovePartFolder() const;
    // Pictures written whose record line could not be added: the next run fetches them again.
    int Unrecorded() const { return unrecorded_.load(); }
    // The empty folders of pictures under way that a process ended mid-run left beside the
    // owners' album folders in the save folder.
    static void RemoveEmptyPartFolders(const Text& saveFolder);

  private:
    DWORD WriteOnce(const WideText& temp, const WideText& final, const ByteBuffer& body,
                    const FlowToken& token, std::int32_t photoTime) const;
    [[nodiscard]] bool Record(const Text& picName, const Text& fileName,
                              std::uint64_t length) const;
    [[nodiscard]] bool Append(const Text& lines) const;

    Text albumFolder_;
    Text partFolder_;  // the album folder itself when no part folder could be made
    PictureSize size_;
    // The folders' file-system forms, made once rather than for every picture.
    WideText albumForm_;
    WideText partForm_;
    mutable std::atomic<int> unrecorded_{0};
    Text ownerId_;
    Text albumId_;
    // The pictures recorded, between ReadRecord and ReadWhatIsThere.
    std::vector<RecordedPicture> recorded_;
    // The picture names whose latest record, at this size or a larger one, names a file in the
    // folder with the recorded length, and that file's name: every photo of a big album looks
    // here once.
    std::unordered_map<Text, Text> alreadyThere_;
};
