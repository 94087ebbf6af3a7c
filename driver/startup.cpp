// Start-up, the key window, the demo thread and its clock, and shutdown.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/demo.h"
#include "effects/effects.h"
#include "engine/read3ds.h"
#include "engine/scene.h"
#include "gfx/device.h"
#include "gfx/texture.h"
#include "platform/glide/glide_output.h"
#include "platform/glide/glide_window.h"
#include "sound/sound.h"
#include "stream/archive.h"
#include "stream/filelib.h"
#include "stream/stream.h"

std::atomic<int> demoRunning{0};
std::atomic<DWORD> startTick{0};
HWND demoWindow = nullptr;
Module* musicModule = nullptr;
std::atomic<unsigned> playHandle{0};
DemoProgress demoProgress;
Scene* scenes[sceneSlotCount] = {};
std::uint8_t bumpPalette[768];

const char* const demoCaption = "Realtime 3D presentation";

namespace {

const char* const windowClassName = "DemoKeyWindow";
constexpr unsigned demoThreadStack = 1048576;

struct SceneSlot {
  const char* name;
  const char* failure;
};
constexpr SceneSlot sceneSlots[8] = {
    {"intro", "Error on loading 3D animation 0"},
    {"mainscene", "Error on loading 3D animation 1"},
    {"mountainworld", "Error on loading 3D animation 1a"},
    {"mountainhut", "Error on loading 3D animation 1b"},
    {"planet_part1", "Error on loading 3D animation 1c I"},
    {"planet_part2", "Error on loading 3D animation 1c II"},
    {"planet_part3", "Error on loading 3D animation 1c III"},
    {"stonehedge_fire", "Error on loading 3D animation 1d"},
};

// The demo thread's frame loop is running: set before the thread starts, cleared
// as the thread's very last act, so that once the main thread has seen it cleared
// nothing of the driver is touched any more (the process may be ending).
std::atomic<int> frameLoopActive{0};

int Fail(const char* text) {
  MessageBoxA(nullptr, text, demoCaption, MB_TASKMODAL);
  return 0;
}

std::uint16_t Rgb565(int r, int g, int b) {
  return static_cast<std::uint16_t>((r >> 1) << 11 | g << 5 | (b >> 1));
}

// Texture names from every textured material, without their extension; each
// material gets the index of its name. False when the names do not fit the
// fixed tables (128 names of at most 63 characters).
bool CollectTextureNames() {
  textureCount = 0;
  for (int slot = 0; slot < 8; ++slot) {
    Scene* scene = scenes[slot];
    if (scene == nullptr) continue;
    for (int m = 0; m < scene->materialCount && m < maxMaterials; ++m) {
      Material* material = scene->materials[m];
      if (material == nullptr || (material->flags & materialTextured) == 0) continue;
      // The file name may fill its field without a terminator.
      std::size_t length = strnlen(material->textureFile, textureFileSize);
      // Cut the extension with its dot; a name too short to have one is kept whole.
      if (length >= 4) length -= 4;
      if (length > static_cast<std::size_t>(textureNameSize - 1)) return false;
      char name[textureNameSize];
      std::memcpy(name, material->textureFile, length);
      name[length] = 0;
      int index = 0;
      while (index < textureCount && std::strcmp(textureNames[index], name) != 0) ++index;
      if (index == textureCount) {
        if (textureCount == maxTextures) return false;
        std::memcpy(textureNames[index], name, length + 1);
        ++textureCount;
      }
      material->textureIndex = index;
    }
  }
  return true;
}

// Each texture as PCX, else BMP, else the fallback picture.
bool LoadTextures() {
  char path[128];
  for (int i = 0; i < textureCount; ++i) {
    std::snprintf(path, sizeof path, "textures\\%s.PCX", textureNames[i]);
    if (LoadPcxTexture(path, &textures[i], 0)) continue;
    std::snprintf(path, sizeof path, "textures\\%s.BMP", textureNames[i]);
    if (LoadBmpTexture(path, &textures[i], 0)) continue;
    if (LoadPcxTexture("textures\\plasm.pcx", &textures[i], 0)) continue;
    return false;
  }
  return true;
}

}  // namespace

float DemoSeconds() {
  const DWORD elapsed = GetTickCount() - startTick.load();
  return static_cast<float>(elapsed * 0.001);
}

void CloseArchiveAtExit() {
  // The archive reads through the file stream, so it goes first.
  if (archive != nullptr) {
    delete archive;
    archive = nullptr;
  }
  if (archiveFile != nullptr) {
    delete archiveFile;
    archiveFile = nullptr;
  }
}

int LoadScene(int slot, const char* name) {
  char path[128];
  std::snprintf(path, sizeof path, "3ds\\%s.3DS", name);
  scenes[slot] = ReadSceneFile(path);
  return scenes[slot] == nullptr ? 1 : 0;
}

int StartUp() {
  DeviceInit();
  ditherEnabled = 1;

  archiveFile = new TFile;
  archiveFile->SetName("demo.dat");
  static bool exitHandlerRegistered = false;
  if (!exitHandlerRegistered) {
    std::atexit(CloseArchiveAtExit);
    exitHandlerRegistered = true;
  }
  if (!archiveFile->Open(modeRead)) return Fail("Cannot open file library!");

  archive = new TFileLib(archiveFile);
  if (archive->Error()) return Fail("File library invalid!");

  const ScreenMode* mode = FindScreenMode(screenModes, screenModeCount, 640, 480);

  for (int slot = 0; slot < 8; ++slot) {
    if (LoadScene(slot, sceneSlots[slot].name) != 0) return Fail(sceneSlots[slot].failure);
    scenes[slot]->framesPerSecond = 25.0f;
  }

  if (!CollectTextureNames()) return Fail("Texture load error!\n");
  if (!LoadTextures()) return Fail("Texture load error!\n");

  scrollText = static_cast<std::uint8_t*>(std::malloc(scrollTextBytes));
  bumpBackground = static_cast<std::uint8_t*>(std::malloc(bumpPictureBytes));
  slopeMap = static_cast<std::uint8_t*>(std::malloc(bumpPictureBytes));
  lightMap = static_cast<std::uint8_t*>(std::malloc(lightMapBytes));
  bumpWork = static_cast<std::uint8_t*>(std::malloc(bumpPictureBytes));
  if (scrollText == nullptr || bumpBackground == nullptr || slopeMap == nullptr || lightMap == nullptr ||
      bumpWork == nullptr) {
    return Fail("Error on reserving memory!");
  }
  logoPicture = static_cast<std::uint8_t*>(std::malloc(logoPictureBytes));
  if (logoPicture == nullptr) return Fail("Error on reserving memory!");
  std::memset(logoPicture, 0, logoPictureBytes);

  if (!LoadPcxPicture("textures\\brind.pcx", logoPicture, 0, 0, 640, 480)) {
    return Fail("Error on loading logo!");
  }
  for (int i = 0; i < 256; ++i) {
    logoColors[i] = Rgb565(picturePalette[i * 3], picturePalette[i * 3 + 1], picturePalette[i * 3 + 2]);
  }

  std::memset(scrollText, 0, scrollTextBytes);
  std::memset(bumpBackground, 0, bumpPictureBytes);
  std::memset(slopeMap, 0, bumpPictureBytes);
  if (!LoadPcxPicture("textures\\bump\\scroller\\background.pcx", bumpBackground, 0, 0, 320, 200)) {
    return Fail("Error on loading scroller background!");
  }
  if (!LoadPcxPicture("textures\\bump\\256.pcx", lightMap, 0, 0, 256, 256)) {
    return Fail("Error on loading bump!");
  }
  if (!LoadPcxPicture("textures\\bump\\scroller\\text1024.pcx", scrollText, 0, 0, 320, 1024)) {
    return Fail("Error on loading scroller!");
  }

  for (int i = 0; i < 256; ++i) {
    bumpPalette[i * 3] = static_cast<std::uint8_t>(i >> 2);
    bumpPalette[i * 3 + 1] = static_cast<std::uint8_t>(i >> 2);
    bumpPalette[i * 3 + 2] = static_cast<std::uint8_t>(i >> 3);
  }

  DeviceOpen(mode->resolution);
  if (!DeviceIsOpen()) return Fail("Cannot initialize 3D mode!!! (no GLIDE?)\n");
  SetViewportScale(1.0f);

  for (int i = 0; i < textureCount; ++i) {
    if (!UploadTexture(&textures[i])) {
      DeviceClose();
      return Fail("Error on uploading textures!\n");
    }
  }
  return 1;
}

int CreateDemoWindow(int showCommand, HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.style = CS_BYTEALIGNCLIENT;
  windowClass.lpfnWndProc = DemoWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(101));
  windowClass.hCursor = LoadCursorA(instance, MAKEINTRESOURCEA(102));
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = windowClassName;
  RegisterClassA(&windowClass);

  demoWindow = CreateWindowExA(0, windowClassName, demoCaption, WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                               200 + GetSystemMetrics(SM_CYCAPTION) - GetSystemMetrics(SM_CYBORDER), nullptr,
                               nullptr, instance, nullptr);
  if (demoWindow == nullptr) return 0;
  ShowWindow(demoWindow, showCommand);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  return 1;
}

LRESULT DemoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY || message == WM_KEYDOWN) {
    demoRunning.store(0);
    PostQuitMessage(0);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void DemoBeginPlaying() {
  demoRunning.store(1);
  // Without a module there is nothing to play; handle 0 then tells the shutdown
  // that there is nothing to stop.
  playHandle.store(musicModule != nullptr ? SoundPlayModule(musicModule, 0) : 0);
  startTick.store(GetTickCount());
}

void DemoThread(void*) {
  DemoBeginPlaying();
  RunTimeline();
  demoRunning.store(0);
  PostMessageA(demoWindow, WM_CLOSE, 0, 0);
  // The frame loop is over: the main thread may close the accelerator now.
  frameLoopActive.store(0);
}

int StartDemoThread() {
  frameLoopActive.store(1);
  if (soundThreadStart(DemoThread, demoThreadStack, nullptr) == static_cast<std::uintptr_t>(-1)) {
    frameLoopActive.store(0);
    return 0;
  }
  return 1;
}

void WaitForDemoThread() {
  // A frame takes at most a few tens of milliseconds; look every millisecond.
  while (frameLoopActive.load() != 0) Sleep(1);
}

void DemoSelectOutput(DemoOutput output, bool fullscreen) {
  if (output == DemoOutput::offscreen) {
    Win32SelectWindowOutput(Win32WindowOutput::offscreen);
    GlideSelectOutput(GlideOutput::offscreen);
    Win32SetPumpHook(nullptr);
    Win32SetForeignEventFilter(nullptr);
  } else {
    Win32SelectWindowOutput(Win32WindowOutput::display);
    GlideSelectOutput(GlideOutput::window, fullscreen);
    // The accelerator's window is served by the main thread's message loop, and a
    // key pressed in it ends the presentation like one pressed in the key window.
    Win32SetPumpHook(GlideWindowService);
    Win32SetForeignEventFilter(GlideWindowFilterEvent);
  }
}

int DemoLoad(const DemoSoundPlan& plan) {
  if (!StartUp()) {
    SoundClose();
    return 0;
  }
  if (!plan.enabled) return 1;
  if (!SoundInit()) {
    if (!plan.required) return 1;
    // The sound system is left as it is on this path; the exit handlers still run.
    return Fail("Cannot initialize QUAVR!");
  }
  demoProgress.soundInitialised = true;
  if (plan.backgroundPlay) {
    SoundStartBackgroundPlay(0);
    demoProgress.backgroundPlaying = true;
  }
  musicModule = SoundLoadModule("music.s3m");
  return 1;
}

void DemoShutDown() {
  // A key press ends the loop while the demo thread may still be inside a frame.
  WaitForDemoThread();
  DeviceClose();
  if (unsigned handle = playHandle.exchange(0); handle != 0) SoundStopModule(handle);
  if (musicModule != nullptr) SoundFreeModule(musicModule);
  if (demoProgress.backgroundPlaying) SoundStopBackgroundPlay();
  SoundClose();
  demoProgress = DemoProgress{};
}

int DemoMain(HINSTANCE instance, int showCommand) {
  SoundStartup();
  if (!SoundConfigDialog()) return 0;
  if (!DemoLoad(DemoSoundPlan{})) return demoExitFailure;
  if (!CreateDemoWindow(showCommand, instance)) {
    SoundClose();
    return demoExitFailure;
  }

  if (!StartDemoThread()) {
    // Without the demo thread nothing would ever end the message loop.
    DestroyWindow(demoWindow);
  }

  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) != 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DemoShutDown();
  return static_cast<int>(msg.wParam);
}
