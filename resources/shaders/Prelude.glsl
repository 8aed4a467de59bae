#version 120
#extension GL_ARB_texture_rectangle : require
// Packed 4:2:2 textures hold two pixels per texel: the '2vuy' bytes Cb Y0 Cr Y1 uploaded as BGRA
// with GL_UNSIGNED_INT_8_8_8_8_REV, so a texel reads (r, g, b, a) = (Cr, Y0, Cb, Y1).
// Full-resolution intermediates hold (Y, Cb, Cr, alpha) per pixel. Texture coordinates are in
// pixels of the full-resolution picture.
