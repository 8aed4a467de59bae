// Packed 4:2:2 straight to packed 4:2:2 at the same size, with the colour adjustment: each output
// texel is the pixel pair it covers. The pair's chroma is the mean of the two pixels' chroma
// rounded to 8 bits the way an 8-bit target stores them, so the frame has the bytes it has when
// it passes through the full-resolution intermediate; luma is stored once either way.
// The store: scaled by 255/256, then added to 2^15, where a float holds 256ths exactly and rounds
// to the nearest one, ties to even. The constants are uniforms so that the compiler cannot fold
// the addition and the subtraction away: storeBias is (32768, 32768), storeScale 256.
uniform vec2 storeBias;
uniform float storeScale;

vec2 stored(vec2 chroma)
{
    vec2 steps = ((clamp(chroma, 0.0, 1.0) * (255.0 / 256.0) + storeBias.x) - storeBias.y) * storeScale;
    return steps * (1.0 / 255.0);
}

void main()
{
    // The output texel covers pixels 2i and 2i + 1: the even one is packed texel i itself, the odd
    // one takes its chroma halfway to texel i + 1 (as unpackPixel does for each).
    vec2 p = gl_TexCoord[0].st;
    float pair = floor(p.x * 0.5);
    vec4 texel = texture2DRect(texUnitY, vec2(pair + 0.5, p.y));
    vec4 next = texture2DRect(texUnitY, vec2(pair + 1.5, p.y));
    vec3 left = adjustColour(vec3(texel.g, texel.b, texel.r));
    vec3 right = adjustColour(vec3(texel.a, 0.5 * (texel.b + next.b), 0.5 * (texel.r + next.r)));
    gl_FragColor = packPair(vec3(left.x, stored(left.yz)), vec3(right.x, stored(right.yz)));
}
