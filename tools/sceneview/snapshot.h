// The frame shown on the accelerator as a PNG file, written through the tools'
// output files (never over an input, never half-written).
#pragma once

#include <string>

// Writes the last swapped frame, display gamma applied. False with a message.
bool SaveShownFrame(const std::string& path, std::string& error);
// A name "sceneview-NNNN.png" in the current folder that is not taken yet.
std::string NextScreenshotName();
