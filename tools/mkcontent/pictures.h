// The pictures of the 2D segments and the fallback texture:
//   "textures\brind.pcx"                    640 x 480 logo with its own palette
//   "textures\bump\scroller\background.pcx" 320 x 200 relief (index = height)
//   "textures\bump\256.pcx"                 256 x 256 light spot, bright centre
//   "textures\bump\scroller\text1024.pcx"   320 x 1024 scroll text, 0 = transparent
//   "textures\plasm.pcx"                    256 x 256 plasma, the fallback texture
#pragma once

#include <string>
#include <vector>

#include "tools/mkcontent/images.h"

namespace content {

inline constexpr const char* productionName = "CINDER ATLAS";
inline constexpr const char* groupName = "MOTH HARBOUR";

Image8 MakeLogo();
Image8 MakeBumpBackground();
Image8 MakeLightSpot();
Image8 MakeScrollText();
Image8 MakePlasma();

// The credit lines of the scroll text, top to bottom.
std::vector<std::string> ScrollTextLines();

}  // namespace content
