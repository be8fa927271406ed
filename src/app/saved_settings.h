#pragma once
// What the user chose, kept for the next start beside the saved sign-in: the save folder, the
// picture size and the home page typed last. Plain UTF-8 text ("settings.txt", a "name=value"
// line each), as none of it is a secret. Written through a temporary file and a rename; read
// in bounded memory whatever the file holds, so a damaged or huge file costs no more than its
// first kMaxBytes, and a line it cannot read only leaves that setting as it starts.
#include <optional>

#include "app/records.h"
#include "text/text_types.h"

// Where the program keeps what lasts for this Windows user (the log, the sign-in, these
// settings): %LOCALAPPDATA%\Pictalon. PICTALON_LOCALAPPDATA, when set, stands for
// %LOCALAPPDATA% (tests keep their own, off the user's); empty when neither is known.
WideText UserDataFolder();

struct KeptSettings {
    Text saveFolder;  // empty: not kept
    std::optional<PictureSize> size;
    Text homePage;  // empty: not kept
};

class SavedSettings {
  public:
    static constexpr size_t kMaxBytes = size_t{16} << 10;

    // %LOCALAPPDATA%\Pictalon, or another folder (tests).
    SavedSettings();
    explicit SavedSettings(WideText folder);

    bool Save(const KeptSettings& settings) const;
    // Whatever could be read; everything empty when there is no file.
    KeptSettings Load() const;

  private:
    WideText folder_;
    WideText path_;
};

// The file's text and back; a value with a line break in it is not kept.
Text SettingsText(const KeptSettings& settings);
KeptSettings ReadSettingsText(std::string_view text);
