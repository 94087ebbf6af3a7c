// The interactive viewer: the scene in the accelerator's window, its animation
// playing in real time, keys and mouse for pausing, stepping and orbiting.
#pragma once

#include "engine/scene.h"
#include "tools/sceneview/framing.h"

// Runs until the window is closed or q / Escape is pressed. The accelerator
// must be open on the window output. Returns the exit status.
int RunViewer(Scene* scene, DefaultView& view, double fps);
