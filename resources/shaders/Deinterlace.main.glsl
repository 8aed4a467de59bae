// One field to a full frame: the field's own lines pass, the other lines are the mean of the
// field lines above and below them.
void main()
{
    vec2 p = gl_TexCoord[0].st;
    float line = floor(p.y);
    vec3 ycc;
    if (abs(mod(line, 2.0) - fieldParity) < 0.5) {
        ycc = unpackPixel(p.x, line + 0.5);
    } else {
        float above = max(line - 1.0, fieldParity);
        ycc = 0.5 * (unpackPixel(p.x, above + 0.5) + unpackPixel(p.x, line + 1.5));
    }
    gl_FragColor = vec4(adjustColour(ycc), 1.0);
}
