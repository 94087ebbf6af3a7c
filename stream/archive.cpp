// The open archive shared by every reader of archive members.
#include "stream/archive.h"

TFile* archiveFile = nullptr;
TFileLib* archive = nullptr;
