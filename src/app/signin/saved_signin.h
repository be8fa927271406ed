#pragma once
// The sign-in kept between runs: the login cookies, encrypted for the current Windows user
// (CryptProtectData), in "signin.dat" under the user's local application data ("Pictalon").
// Never written in plain text; written through a temporary file and a rename, so a crash leaves
// the old sign-in or the new one, never half of either.
#include <optional>

#include "text/text_types.h"

class SavedSignIn {
  public:
    // %LOCALAPPDATA%\Pictalon; the file is not there until the first Save.
    SavedSignIn();
    // The file in another folder (tests): UTF-16, "\" at the end or not.
    explicit SavedSignIn(WideText folder);

    // Encrypts and stores the cookies, making the folder when needed. False for empty cookies
    // (nothing is stored then, and what was stored stays) or when a step fails.
    [[nodiscard]] bool Save(const Text& cookies) const;
    // The stored cookies; nullopt when there is no file or it is damaged, cannot be decrypted
    // (another Windows user's, another machine's) or holds nothing.
    std::optional<Text> Load() const;
    // Removes the stored sign-in. True when none is left (also when there was none).
    [[nodiscard]] bool Delete() const;

    // Where the sign-in lives; empty when the application data folder could not be found.
    const WideText& FilePath() const { return path_; }

  private:
    WideText folder_;
    WideText path_;
};
