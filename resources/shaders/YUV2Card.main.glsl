// Packed 4:2:2 straight to packed 4:2:2 at the same size, with the colour adjustment: each output
// texel is the pixel pair it covers, its chroma the pair's own sample (as the full-resolution way
// packs it), so the frame has the bytes it has when it passes through the intermediate.
void main()
{
    vec2 p = gl_TexCoord[0].st;
    vec4 texel = texture2DRect(texUnitY, vec2(floor(p.x * 0.5) + 0.5, p.y));
    vec3 left = adjustColour(vec3(texel.g, texel.b, texel.r));
    vec3 right = adjustColour(vec3(texel.a, texel.b, texel.r));
    gl_FragColor = packPair(left, right);
}
