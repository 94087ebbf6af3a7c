// Windows, screenshots and pictures of a virtual display.

#include "screen_tools.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Output of a command run without a display.
std::optional<std::string> Output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string text;
  char buffer[512];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  if (pclose(pipe) != 0) return std::nullopt;
  return text;
}

// Reads "X=..", "Y=..", "WIDTH=..", "HEIGHT=.." lines of `xdotool getwindowgeometry --shell`.
bool ParseGeometry(const std::string& text, WindowArea& area) {
  std::istringstream lines(text);
  std::string line;
  int found = 0;
  while (std::getline(lines, line)) {
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const int value = std::atoi(line.c_str() + equals + 1);
    if (key == "X") area.x = value, ++found;
    if (key == "Y") area.y = value, ++found;
    if (key == "WIDTH") area.width = value, ++found;
    if (key == "HEIGHT") area.height = value, ++found;
  }
  return found == 4;
}

}  // namespace

bool Installed(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::optional<std::string> FirstMissing(std::initializer_list<const char*> programs) {
  for (const char* program : programs) {
    if (!Installed(program)) return std::string(program);
  }
  return std::nullopt;
}

std::optional<WindowArea> FindWindow(const VirtualDisplay& display, const std::string& namePattern) {
  std::string ids;
  if (display.Run("xdotool search --onlyvisible --name " + Quoted(namePattern) + " 2>/dev/null", &ids) != 0) {
    return std::nullopt;
  }
  WindowArea area;
  area.id = ids.substr(0, ids.find('\n'));
  std::string geometry;
  if (area.id.empty() ||
      display.Run("xdotool getwindowgeometry --shell " + area.id + " 2>/dev/null", &geometry) != 0 ||
      !ParseGeometry(geometry, area)) {
    return std::nullopt;
  }
  return area;
}

bool WindowShown(const VirtualDisplay& display, const std::string& namePattern) {
  return display.Run("xdotool search --onlyvisible --name " + Quoted(namePattern) + " >/dev/null 2>&1") == 0;
}

bool ScreenShot(const VirtualDisplay& display, const std::string& file) {
  return display.Run("import -window root " + Quoted(file) + " 2>/dev/null") == 0;
}

bool ScreenShot(const VirtualDisplay& display, const WindowArea& area, const std::string& file) {
  const std::string crop = std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                           std::to_string(area.x) + "+" + std::to_string(area.y);
  return display.Run("import -window root -crop " + crop + " +repage " + Quoted(file) + " 2>/dev/null") == 0;
}

std::optional<std::vector<Rgb>> PixelsAt(const std::string& file, const std::vector<Point>& points) {
  // One program run for every point: on a busy machine each start costs time.
  std::string format;
  for (const Point& p : points) {
    const std::string at = "p{" + std::to_string(p.x) + "," + std::to_string(p.y) + "}";
    for (const char* channel : {".r", ".g", ".b"}) format += "%[fx:int(255*" + at + channel + "+0.5)] ";
  }
  auto text = Output("convert " + Quoted(file) + " -format '" + format + "' info: 2>/dev/null");
  if (!text) return std::nullopt;
  std::istringstream values(*text);
  std::vector<Rgb> colours(points.size());
  for (Rgb& colour : colours) {
    if (!(values >> colour.r >> colour.g >> colour.b)) return std::nullopt;
  }
  return colours;
}

std::optional<Rgb> PixelAt(const std::string& file, int x, int y) {
  auto colours = PixelsAt(file, {Point{x, y}});
  if (!colours) return std::nullopt;
  return colours->front();
}

std::optional<double> MeanBrightness(const std::string& file) {
  auto text = Output("convert " + Quoted(file) + " -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null");
  double mean = 0;
  if (!text || std::sscanf(text->c_str(), "%lf", &mean) != 1) return std::nullopt;
  return mean;
}

std::string Describe(const Rgb& colour) {
  return "(" + std::to_string(colour.r) + ", " + std::to_string(colour.g) + ", " + std::to_string(colour.b) + ")";
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds interval) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(interval);
  }
  return true;
}

}  // namespace e2e
