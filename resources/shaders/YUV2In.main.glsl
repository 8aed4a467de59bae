// Packed 4:2:2 to full-resolution YCbCr with the colour adjustment.
void main()
{
    vec2 p = gl_TexCoord[0].st;
    gl_FragColor = vec4(adjustColour(unpackPixel(p.x, p.y)), 1.0);
}
