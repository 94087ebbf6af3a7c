// The texture table shared by every scene.
#include "gfx/texture.h"

Texture textures[maxTextures];
char textureNames[maxTextures][textureNameSize];
int textureCount = 0;
