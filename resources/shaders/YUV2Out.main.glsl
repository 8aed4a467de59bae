uniform sampler2DRect inputTex;

// Full-resolution YCbCr to packed 4:2:2. Each output texel covers two output pixels, xInc source
// pixels apart around the texel's centre.
void main()
{
    vec2 p = gl_TexCoord[0].st;
    vec3 left = texture2DRect(inputTex, vec2(p.x - 0.5 * xInc, p.y)).xyz;
    vec3 right = texture2DRect(inputTex, vec2(p.x + 0.5 * xInc, p.y)).xyz;
    gl_FragColor = packPair(left, right);
}
