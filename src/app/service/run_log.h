#pragma once
// The program's own log: what a user (or whoever helps them) needs to see why a run did not
// bring every picture: each run's start, every request that failed or was limited and what
// was done next, every pause, every file that could not be written, and each run's counts.
// Plain UTF-8 text, a line per event with the local time; rolled at about a megabyte to one
// older file. It holds no cookie, ticket or QR token. A log that cannot be written stops
// nothing: its lines are dropped.
#include <cstddef>
#include <mutex>

#include "text/text_types.h"

class RunLog {
  public:
    static constexpr size_t kRollBytes = size_t{1} << 20;

    // The log in folder (made when missing). Empty: %LOCALAPPDATA%\Pictalon\.
    explicit RunLog(WideText folder = WideText(), size_t rollBytes = kRollBytes);

    // Appends one line (code-page-936 text) with the local time before it; any thread.
    void AddLine(const Text& line);

    // The log file's path; empty when no folder for it is known.
    WideText Path() const { return path_; }

  private:
    std::mutex mutex_;
    WideText folder_;
    WideText path_;
    size_t rollBytes_;
};

// The address as it may be written to the log: the values of query fields that carry a secret
// (cookies, tokens, tickets, the QR code's id, the login's alt) are cut out.
Text RedactedUrl(const Text& url);
