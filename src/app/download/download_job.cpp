// The driver's job of one photo.
#include "app/download/download_driver.h"

#include "app/service/fetch_gate.h"
#include "app/service/picture_bytes.h"
#include "app/service/service_client.h"
#include "text/text_helpers.h"
#include "web/endpoints.h"

bool DownloadDriver::QueueJob() {
    return app_.Downloading().Queue([self = shared_from_this()] { self->RunJob(); });
}

void DownloadDriver::RunJob() {
    struct Settle {
        DownloadRun& run;
        ~Settle() { run.Settle(); }
    } settle{*run_};
    if (run_->Token().StopRequested()) return;  // a job of a run that is over claims nothing

    ListedPhoto listed;
    const int position = run_->TakeNext(listed);
    if (position == 0 || !listed.folder) return;
    const DownloadRun::Outcome outcome = DownloadPhoto(position, listed);
    if (outcome == DownloadRun::Outcome::kFailed && run_->Token().StopRequested()) return;
    // A failure shows too, so the taskbar turns to its error state when it happens.
    run_->Count(listed.album, outcome);
    progress_->Show();
}

// Fetches and writes one claimed photo.
DownloadRun::Outcome DownloadDriver::DownloadPhoto(int position, const ListedPhoto& listed) {
    using Outcome = DownloadRun::Outcome;
    const PhotoRecord& photo = listed.photo;
    const AlbumFolder& folder = *listed.folder;
    const Text& fileName = listed.fileName;
    if (fileName.empty()) return Outcome::kFailed;
    const Text url =
        PictureUrl(photo.picHost, Text(VariantOf(folder.Size()).segment), photo.picName);
    // Unique across processes: two windows downloading the same owner share its part folder.
    const Text tempName =
        JoinTexts("~", std::to_string(GetCurrentProcessId()), "-", std::to_string(run_->Id()), "-",
                  std::to_string(position), ".part");

    ByteBuffer body;
    // The service's placeholder for a removed picture never goes under the photo's name, nor
    // over a good copy there.
    if (const Outcome fetched = FetchPicture(url, body); fetched != Outcome::kWritten)
        return fetched;
    DWORD err = ERROR_CANCELLED;
    // Count ourselves as a writer before the last look at the stop flag, so shutdown either sees
    // us and waits, or we see its stop and write nothing. The record is part of the write: a
    // picture that is in its folder when the program ends is recorded there too.
    {
        const Downloads::WriteTurn writing(app_.Downloading());
        err = folder.Write(photo, fileName, body, tempName, run_->Token());
    }
    if (err == ERROR_CANCELLED) return Outcome::kFailed;
    if (err != 0) {
        app_.Log().AddLine(JoinTexts("could not write ", folder.Path() + fileName, ": error ",
                                     std::to_string(err)));
        progress_->ShowWriteError(err, fileName);
    }
    return err == 0 ? Outcome::kWritten : Outcome::kFailed;
}

// The picture, or nothing: only a complete 200 answer whose bytes are a picture's counts. Failed
// answers are asked for again twice after a short pause; while the service says to slow down the
// job waits with the others, and those answers use up none of the tries.
DownloadRun::Outcome DownloadDriver::FetchPicture(const Text& url, ByteBuffer& body) {
    ServiceRequest request{url};
    request.bodyCap = kPictureBodyCap;
    request.silenceMs = app_.Client().PictureSilenceMs();
    request.backoff = &run_->PictureBackoff();
    request.pace = &app_.Client().PicturePace();
    request.gate = &app_.Downloading().PictureGate();
    request.keptSession = true;
    // A page or an error sent with status 200 is a failed try: it is never written as a picture.
    const RetryPolicy policy{kFetchAttempts, kRetryPauseMs, [](const ServiceAnswer& answer) {
                                 return answer.Answered() && answer.status == 200 &&
                                        LooksLikePicture(answer.body.Bytes());
                             }};
    ServiceAnswer answer = FetchSignedIn(app_, renewing_, request, policy);
    body = answer.accepted ? answer.body.TakeBytes() : ByteBuffer();
    return answer.accepted  ? DownloadRun::Outcome::kWritten
           : answer.removed ? DownloadRun::Outcome::kRemoved
                            : DownloadRun::Outcome::kFailed;
}
