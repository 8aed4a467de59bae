uniform sampler2DRect inputTex;

// Full-resolution YCbCr to RGB for display.
void main()
{
    vec4 ycc = texture2DRect(inputTex, gl_TexCoord[0].st);
    gl_FragColor = vec4(yCbCrToRgb(ycc.xyz), ycc.a);
}
