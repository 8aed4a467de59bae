#pragma once
// Targa (true-colour, uncompressed or run-length) decoding into texture pixels.
#include "engine/texture/ssTexture.h"

#include <cstddef>
#include <cstdint>

// True when the image-type byte marks a true-colour Targa (2 uncompressed, 10 run-length).
bool ssIsTarga(const uint8_t* data, size_t size);
// Fills the texture from a Targa file; ssTexOK or ssTexDecodeFailed (texture left empty).
int32_t ssDecodeTarga(ssTexture* texture, const uint8_t* data, size_t size, int32_t requestedType);
