// The presentation's open archive: the file stream over "demo.dat" and the
// directory read from it. The start-up fills both and the exit handler empties
// them; the scene, texture and picture readers build their member streams on
// `archive`.
#pragma once

class TFile;
class TFileLib;

extern TFile* archiveFile;  // the stream under `archive`
extern TFileLib* archive;
