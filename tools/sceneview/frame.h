// Drawing scene frames on the accelerator: opening it at 640 x 480 on the
// chosen output and drawing one posed frame as the presentation draws its
// scenes (full brightness).
#pragma once

#include "engine/render.h"
#include "engine/scene.h"
#include "platform/glide/glide_output.h"

// Initialises and opens the accelerator on the output. False when it does not
// answer (no display for a window).
bool OpenAccelerator(GlideOutput output);
void CloseAccelerator();

// Clears, poses the scene at frame, draws it and swaps (waiting for the next
// retrace when wait is set). Returns what became of the frame and how many
// triangles were collected.
FrameOutcome DrawFrame(Scene* scene, float frame, bool wait, int* triangles = nullptr);

// Frame number of a playing animation after seconds at fps, repeating over
// the scene's frame count.
float PlayingFrame(const Scene* scene, double seconds, double fps);
// The whole frame frames steps from frame, round the animation either way.
float StepFrame(const Scene* scene, float frame, int frames);
