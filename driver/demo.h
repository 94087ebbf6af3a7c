// Demo driver. main.cpp is the program's entry; startup.cpp holds the start-up
// and shutdown order, the key window, the demo thread and its clock; timeline.cpp
// the segment table and the frame loop. It is the only part that knows every
// other subsystem; the capture tool drives the same functions on a virtual clock.
//
// The presentation's driver: process entry, start-up and shutdown order, the key
// window, the demo thread and its clock, and the timeline that decides what each
// frame shows.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32/win32.h"

struct Module;
struct Scene;

// ---- Process-wide state ----
// 1 while the timeline may go on; cleared by a key press, by the window's end and
// by the demo thread when the timeline runs out.
extern std::atomic<int> demoRunning;
// GetTickCount right after the music started: time zero of the timeline.
extern std::atomic<DWORD> startTick;
extern HWND demoWindow;
extern Module* musicModule;
extern std::atomic<unsigned> playHandle;

inline constexpr int sceneSlotCount = 9;  // slots 0 to 7 are loaded, 8 stays empty
extern Scene* scenes[sceneSlotCount];

// Fixed 6-bit ramp (i >> 2, i >> 2, i >> 3) of the bump scroller.
extern std::uint8_t bumpPalette[768];

// Sizes of the picture buffers the start-up allocates.
inline constexpr int scrollTextBytes = 320 * 1024;
inline constexpr int bumpPictureBytes = 320 * 200;
inline constexpr int lightMapBytes = 256 * 256;
inline constexpr int logoPictureBytes = 640 * 480;

// Credit line used as the caption of every message box and as the window title.
extern const char* const demoCaption;

// The exit code after a start-up failure (the user has been told what failed);
// a run that plays, or a cancelled set-up dialog, ends with 0.
inline constexpr int demoExitFailure = 1;

// ---- Start-up, window, thread ----
// The program's entry: configuration dialog, start-up, window, demo thread,
// message loop, shutdown. Returns the process exit code: 0, or demoExitFailure.
int DemoMain(HINSTANCE instance, int showCommand);
// Loads everything and opens the accelerator; 1 on success, 0 after a failure was
// reported in a message box.
int StartUp();
int CreateDemoWindow(int showCommand, HINSTANCE instance);
LRESULT DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Body of the demo thread (the argument is unused).
void DemoThread(void* unused);
// Seconds since startTick; the unsigned difference keeps counting across a wrap
// of the tick counter.
float DemoSeconds();
// 0 on success, 1 when the scene "3ds\<name>.3DS" does not load.
int LoadScene(int slot, const char* name);
void CloseArchiveAtExit();

// Steps 1 to 3 of the demo thread: the flag, the music, the start tick. The
// capture tool plays through these too.
void DemoBeginPlaying();
// Starts DemoThread through the sound system's thread-start pointer with a 1 MiB
// stack; 0 when the thread cannot be created.
int StartDemoThread();
// Blocks until the demo thread has left its frame loop, so that the accelerator
// can be closed without cutting into a frame. Returns at once when no demo thread
// was started.
void WaitForDemoThread();

// ---- The start-up and shutdown order, shared by the program and the capture ----
// How the sound system takes part in a start-up.
struct DemoSoundPlan {
  bool enabled = true;         // false: neither the sound system's init nor the music
  bool required = true;        // an init that fails is reported and ends the start-up;
                               // false: the presentation goes on silent
  bool backgroundPlay = true;  // the player thread polls; false: the caller polls
};
// What the start-up has done with the sound system; the shutdown walks it back.
struct DemoProgress {
  bool soundInitialised = false;
  bool backgroundPlaying = false;
};
extern DemoProgress demoProgress;

// Run after SoundStartup and the sound configuration: StartUp, the sound system's
// init, its background playing and the music, in that order. 1 when the
// presentation can play; 0 after a failure was reported to the user.
int DemoLoad(const DemoSoundPlan& plan);
// Run after the last frame: waits for the demo thread, closes the accelerator,
// stops and frees the music, stops the background playing and closes the sound
// system, in that order.
void DemoShutDown();

// Where the presentation's pictures and key window go, chosen in code: a window
// for people (with fullscreen accelerator output on request), or memory only.
enum class DemoOutput { display, offscreen };
void DemoSelectOutput(DemoOutput output, bool fullscreen = false);

// ---- Timeline ----
enum SegmentKind : std::int32_t {
  segmentNothing = 0,
  segmentIntro = 1,  // scene slot 0
  segmentLogo = 2,
  segmentSceneFirst = 3,  // 3 to 10: scene slot kind - 2
  segmentSceneLast = 10,
  segmentBumpScroller = 11,
};

struct TimelineEntry {
  float start;  // seconds since startTick
  std::int32_t kind;
  std::int32_t firstFrame;
  std::int32_t lastFrame;
};
static_assert(sizeof(TimelineEntry) == 16, "timeline entries are 16 bytes");

inline constexpr int timelineEntryCount = 16;
extern const TimelineEntry timeline[timelineEntryCount];
inline constexpr float timelineEnd = 218.0f;

// The current segment's brightness lives with the effects (effects/effects.h:
// fadeLevel); bumpColors likewise.

// What the timeline shows at t seconds: the segment (-1 once the timeline has run
// out), its fade level and its progress from 0 towards 1.
struct TimelinePosition {
  int segment;
  int fade;
  float progress;
};
TimelinePosition LocateTimeline(float t);
// Animation frame of a scene segment at the given progress.
float SceneFrameNumber(std::int32_t firstFrame, std::int32_t lastFrame, float progress);

// The demo thread's frame loop; returns when the timeline ends or demoRunning is 0.
void RunTimeline();
void RenderSceneFrame(int slot, std::int32_t firstFrame, std::int32_t lastFrame, float progress);
