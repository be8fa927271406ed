#pragma once
// How a downloaded picture and its folders are named on disk.
#include <cstdint>
#include <string_view>

#include "text/text_types.h"

// "[YYYY.MM.DD-hh.mm]" for the moment 1970-01-01 08:00:00 (UTC+8) plus the given seconds.
Text TimeText(std::int32_t timestamp);

// A caption made fit for a file name: cut to its first 200 bytes (never inside a double-byte
// character), then every / \ : * < > | ? " line end, space and other control character removed,
// stepping over double-byte characters so a trail byte is never taken for one of them (0x80, the
// euro sign, is a single character; a lead byte without its trail byte is dropped).
Text CleanCaption(const Text& caption);

// A name from the service made safe to be one folder or file name: no path separators or other
// characters file names cannot hold, no leading or trailing dots and spaces, never "." or "..",
// never a reserved device name (whatever extensions follow it: "con.tar.gz"). The result is
// well-formed code page 936. An empty result becomes "_".
Text SafeName(const Text& name);
// True exactly when SafeName would give the name back unchanged, without making a copy: a
// record of thousands of file names is checked at every album's start.
bool IsSafeName(std::string_view name);

// time text + cleaned caption + "-" + picture name, made safe, with ".jpg" appended when the last
// four bytes hold no "." and also when the extension is not a picture's, so the name can never
// turn into a program or script.
Text PictureFileName(std::int32_t timestamp, const Text& caption, const Text& picName);

// True when path names something strictly inside folder (which ends in "\"), with no "." or
// ".." component that could climb out of it.
bool IsInsideFolder(const Text& folder, const Text& path);
