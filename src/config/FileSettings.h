#pragma once
#include <vector>
#include "config/SettingsTable.h"

// The library's settings and those of what goes into a finished file and beside it: the
// folder and names, subtitles, SponsorBlock segments and the media servers' files. Part of
// SettingsTable::All().
std::vector<Setting> FileSettings();
