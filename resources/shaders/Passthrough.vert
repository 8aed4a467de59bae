#version 120
// Fixed-function geometry: the quad's texture coordinates go to the fragment stage unchanged.
void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
