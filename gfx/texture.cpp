// The texture table and the archive the loaders read from.
#include "gfx/texture.h"

Texture textures[maxTextures];
char textureNames[maxTextures][textureNameSize];
int textureCount = 0;

TFileLib* archive = nullptr;
