uniform sampler2DRect inputTex;
uniform float alpha;

// RGB(A) pictures (overlay, slate) into the YCbCr intermediate, faded by alpha.
void main()
{
    vec4 rgba = texture2DRect(inputTex, gl_TexCoord[0].st);
    gl_FragColor = vec4(rgbToYCbCr(rgba.rgb), rgba.a * alpha);
}
