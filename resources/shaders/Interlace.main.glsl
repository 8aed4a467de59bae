uniform sampler2DRect inputTex0; // the frame whose lines make the first (upper) field
uniform sampler2DRect inputTex1; // the frame whose lines make the second field

// Weaves two full-resolution frames into one packed 4:2:2 interlaced frame.
void main()
{
    vec2 p = gl_TexCoord[0].st;
    vec2 l = vec2(p.x - 0.5 * xInc, p.y);
    vec2 r = vec2(p.x + 0.5 * xInc, p.y);
    if (mod(floor(gl_FragCoord.y), 2.0) < 0.5)
        gl_FragColor = packPair(texture2DRect(inputTex0, l).xyz, texture2DRect(inputTex0, r).xyz);
    else
        gl_FragColor = packPair(texture2DRect(inputTex1, l).xyz, texture2DRect(inputTex1, r).xyz);
}
