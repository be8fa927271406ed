#pragma once
// The GETs of a download run (photo-list pages and pictures): each waits its turn on the run's
// shared back-off, gives up on a connection that goes silent, and refuses bodies beyond a cap.
// The silence limit is the engine's receive time-out (it also bounds the wait for the headers);
// the cap is the engine's body limit, which refuses an announced length over it and stops
// reading a streamed body at it.
#include <cstddef>
#include <functional>
#include <optional>

#include "app/backoff.h"
#include "app/flow_slot.h"
#include "text/text_types.h"

struct FetchLimits {
    unsigned silenceMs = 0;  // 0: the engine's own receive time-out
    size_t bodyCap = 0;
};

// A picture connection silent this long on one try is given up (the try then fails as usual).
constexpr unsigned kPictureSilenceMs = 30000;
constexpr size_t kPictureBodyCap = size_t{256} << 20;
constexpr size_t kListingBodyCap = size_t{16} << 20;

// The limits a picture fetch runs with. Tests shorten the silence so a stalled host costs
// them seconds rather than minutes.
FetchLimits PictureLimits();
void SetPictureSilenceMs(unsigned ms);

// Failed requests are asked again after this pause, at most this many times in all.
constexpr int kFetchAttempts = 3;
constexpr unsigned kRetryPauseMs = 300;

// Sleeps in short slices so a stop request is seen quickly. False when asked to stop.
bool PauseUnlessStopped(const FlowToken& token, unsigned ms);

struct RunAnswer {
    bool answered = false;  // a whole answer within the cap came back (any status)
    int status = 0;
    ByteBuffer body;
};

// One GET, asked again without using up a try for as long as the service says to slow down
// (waiting on the back-off meanwhile). cookies, when given, go only where login cookies may.
// onChange hears when this request opened a pause or ended one. Not answered when the token
// asked to stop.
RunAnswer FetchUnderBackoff(RateBackoff& backoff, const FlowToken& token, const Text& url,
                            const std::optional<Text>& cookies, const FetchLimits& limits,
                            const std::function<void()>& onChange);
