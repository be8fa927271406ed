#pragma once
// The identifiers of the buttons and menu items: the controls carry them, the command routing
// reads them.
#include "app/records.h"

enum AppCommand : int {
    kCmdDownloadSelected = 10000,
    kCmdOpenFolder = 10001,
    kCmdSizeLarge = kCmdSizeFirst,
    kCmdSizeHigh,
    kCmdSizeStandard,
    kCmdSizeSmall,
    kCmdDownloadAll = 10006,
    kCmdOpenLog = 10007,
    kCmdSignOut = 10008,
    kCmdDownloadChecked = 10009,
    kCmdAnalyze = 20001,
    kCmdBrowse = 20002,
};
