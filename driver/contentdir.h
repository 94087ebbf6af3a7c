// Where the presentation's data files ("demo.dat", "music.s3m") are found when
// no folder is named: the start-up opens them by name in the current folder, so
// the programs move into the folder that holds them first.
#pragma once

#include <string>

// The folder an installed copy keeps its data in, from the program's own path:
// <prefix>/bin/demo reads <prefix>/share/demo. Empty for a program path without
// a folder.
std::string DemoInstalledContentDir(const std::string& programPath);

// The current folder (empty) when it holds "demo.dat"; else the installed folder
// beside programPath when that holds it; else empty, and the start-up reports
// the missing file as it always does.
std::string DemoDefaultContentDir(const std::string& programPath);

// The path of the running program (/proc/self/exe), or empty.
std::string DemoProgramPath();
