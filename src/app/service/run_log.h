#pragma once
// The program's own log: what a user (or whoever helps them) needs to see why a run did not
// bring every picture: each run's start, every request that failed or was limited and what
// was done next, every pause, every file that could not be written, and each run's counts.
// Plain UTF-8 text, a line per event with the local time; rolled at about a megabyte to one
// older file. It holds no cookie, ticket or QR token: the program tells it every such value it
// gets hold of, and each line is cut of them wherever they stand (in a path, an encoded address,
// a quoted answer), besides the values of fields whose names say they are secret. Control
// characters a line quotes (a caption's line break) are escaped, so one event is one line. A log
// that cannot be written stops nothing: its lines are dropped.
#include <cstddef>
#include <mutex>
#include <vector>

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

    // A value never to be written: cut from every later line, as it is and percent-encoded.
    void AddSecret(const Text& value);
    // The values of every secret field of an address, of the addresses it carries encoded
    // (url=...), and after its '#'.
    void LearnSecretsIn(const Text& url);
    // Each value of a cookie list ("a=1; b=2").
    void LearnCookies(const Text& cookies);
    // The values known so far, in each form that is cut.
    std::vector<Text> Secrets();

    // The line that names a start: the version and the process id (the time stands before it).
    void NoteStart();
    // The highest run number the log (or its older file) names, so a new start's runs go on
    // from it; 0 for a log without runs.
    unsigned LastRunNumber() const;

  private:
    std::mutex mutex_;
    std::vector<Text> secrets_;
    WideText folder_;
    WideText path_;
    size_t rollBytes_;
};

// The address as it may be written to the log: the values of query fields that carry a secret
// (cookies, tokens, tickets, the QR code's id, the login's alt) are cut out.
Text RedactedUrl(const Text& url);

// The line as the log writes it: every secret value cut out (see RunLog), the values of
// secret-named fields (name=..., name%3D..., "name":"...") emptied, control characters escaped.
Text LoggableLine(const Text& line, const std::vector<Text>& secrets);
// The highest "run N" a log's text names; 0 when none.
unsigned HighestRunNumber(std::string_view logText);
