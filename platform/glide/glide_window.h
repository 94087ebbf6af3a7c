// The main thread's side of the window output. SDL video is driven from the main
// thread only: the drawing thread's grBufferSwap hands each frame over, and the
// message loop calls GlideWindowService to create or destroy the window when the
// accelerator asks for it and to present the latest frame.
#pragma once

union SDL_Event;

// Creates the window after grSstWinOpen, destroys it after grGlideShutdown, and
// presents the newest finished frame. Call it from the main thread's loop.
void GlideWindowService();

enum GlideWindowEvent : int {
  glideEventNotOurs = 0,  // the event belongs to another window or to no window
  glideEventOther = 1,    // ours, nothing to act on
  glideEventKey = 2,      // a key was pressed in the accelerator window
  glideEventClose = 3,    // the accelerator window was closed by the user
};

// Classifies an SDL event the message loop polled.
int GlideWindowFilterEvent(const SDL_Event* event);

// True while the accelerator window exists.
bool GlideWindowIsOpen();

// SDL's id of the accelerator window, 0 while there is none.
unsigned GlideWindowId();
