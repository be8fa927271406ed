#pragma once
// Routing of every button, menu command and the window's creation to the flow that serves it.
#include "app/app_state.h"
#include "app/command_ids.h"

// On the window thread. Identifiers the program does not know do nothing.
void RunCommand(AppState& app, int id);

// The size commands: accepted only while no run is under way (a run keeps its size from
// "下载选中" to its final status). True when accepted.
bool ChooseSize(AppState& app, int command);

// At start, before the window: the log's line for the start and the run numbers that follow
// its last; the settings kept from the last start; what the environment asks of the program
// (the bound on a service's rate limit, PICTALON_LIMIT_BOUND_MS, which tests shorten); and the
// folders of pictures under way that an ended process left empty in the save folder go.
void ApplyStartSettings(AppState& app);

// The folder that holds the program file, with one trailing "\".
Text ProgramFolder();
// The folder part of a program path, up to and with its last separator: "C:\Pictalon.exe" gives
// "C:\". Empty when the path names no folder.
Text FolderOfProgramPath(const WideText& programPath);
