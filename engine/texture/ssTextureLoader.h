#pragma once
// Turns one texture file into the pixels, size and type of an ssTexture. Targa is recognised by
// its image-type byte, the other formats by a 32-bit magic word; anything else is taken for JPEG.
#include "engine/texture/ssTexture.h"

#include <cstddef>
#include <cstdint>

class ssFile;

// Reads the whole stream and decodes it (ssTextureDecode). ssTexNoMemory when the file cannot be
// buffered.
int32_t ssTextureLoader(ssTexture* texture, ssFile* stream, int32_t requestedType, float displayScale);

// Decodes a file held in memory. Returns ssTexOK for Targa, PNG and JPEG files, ssTexRawLoaded for
// the raw and container formats, ssTexDecodeFailed (texture left 0 x 0) when the data does not
// decode. The display scale picks between the two pictures of a JPEG container.
int32_t ssTextureDecode(ssTexture* texture, const uint8_t* data, size_t size, int32_t requestedType, float displayScale);
