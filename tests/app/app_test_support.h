#pragma once
// Helpers shared by the flow tests: scratch folders, file listing, stand-in scenarios.
#include <windows.h>

#include <map>
#include <string>

#include "text/text_helpers.h"
#include "text/text_types.h"

namespace apptest {

// A new empty folder under the temporary folder, ending in "\"; removed with its content when
// the object goes.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    const Text& Path() const { return path_; }

  private:
    Text path_;
};

// File name -> content of every plain file directly in a folder but the album record.
std::map<Text, ByteBuffer> FilesIn(const Text& folder);
bool FolderExists(const Text& path);
bool MakeFolder(const Text& path);

// The words of a status template before its first field: how every text of it begins.
inline Text Head(const char* tpl) {
    const Text text = tpl;
    return text.substr(0, text.find('{'));
}

// How many requests of the stand-in's log hold the text (its JSON, as raw text).
int CountInLog(const std::string& logText, const std::string& needle);

}  // namespace apptest
