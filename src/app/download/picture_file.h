#pragma once
// Writing one picture so that an interrupted run never leaves a truncated file under a real
// name: the bytes go to a temporary file first, which is then renamed over the final name.
#include <windows.h>

#include <cstdint>

#include "app/flow_slot.h"
#include "app/download/long_path.h"
#include "text/text_types.h"

// 0 on success, else the system error code of the step that failed; ERROR_CANCELLED when the
// token asked to stop before the rename (nothing is left behind then).
DWORD WritePictureFile(const Text& tempPath, const Text& finalPath, const ByteBuffer& body,
                       const FlowToken& token);
// The same with both paths in their file-system form already (empty: refused). A photoTime
// above 0 becomes the file's modification time, as SetFileTimeToPhoto sets it.
DWORD WritePictureFile(const WideText& wideTemp, const WideText& wideFinal, const ByteBuffer& body,
                       const FlowToken& token, std::int32_t photoTime = 0);

// Sets the file's modification (last-write) time to the photo's own time: the Unix timestamp its
// name is made from, taken as a UTC instant. The bytes are left alone. False when the file
// cannot be opened or the time not set.
bool SetFileTimeToPhoto(const WideText& fileSystemPath, std::int32_t timestamp);

// True when the file begins as a picture does (JPEG, PNG, GIF, WebP, BMP): a file of the right
// length that is not one (zeros left by a power cut, another file put in its place) is no
// picture already there.
bool BeginsLikePicture(const WideText& fileSystemPath);
