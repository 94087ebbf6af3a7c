// What an end-to-end test sees and does on a virtual display, through the
// xdotool and ImageMagick programs: windows found by name, screenshots of a
// window's area, pixels and brightness of a picture, and waiting for a condition.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "virtual_display.h"

namespace e2e {

// True when `program` can be found on PATH.
bool Installed(const char* program);
// The first program of the list that is missing, or nothing.
std::optional<std::string> FirstMissing(std::initializer_list<const char*> programs);

struct WindowArea {
  std::string id;
  int x = 0, y = 0, width = 0, height = 0;
};

// A visible window whose name matches the regular expression, with its place on the screen.
std::optional<WindowArea> FindWindow(const VirtualDisplay& display, const std::string& namePattern);
// True while a visible window of that name exists.
bool WindowShown(const VirtualDisplay& display, const std::string& namePattern);

// Writes the whole screen, or the given window's area, to a picture file (the
// contents of an accelerated window cannot be read back, the screen's can).
bool ScreenShot(const VirtualDisplay& display, const std::string& file);
bool ScreenShot(const VirtualDisplay& display, const WindowArea& area, const std::string& file);

struct Rgb {
  int r = 0, g = 0, b = 0;
};
struct Point {
  int x = 0, y = 0;
};
std::optional<Rgb> PixelAt(const std::string& file, int x, int y);
// Several pixels of one picture, in the order asked for.
std::optional<std::vector<Rgb>> PixelsAt(const std::string& file, const std::vector<Point>& points);
// Mean brightness from 0 to 1; nothing when the file cannot be read.
std::optional<double> MeanBrightness(const std::string& file);
std::string Describe(const Rgb& colour);

// Calls `condition` every `interval` until it holds (true) or `timeout` has passed
// (false); the condition is always tried at least once.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds interval = std::chrono::milliseconds(100));

}  // namespace e2e
