uniform float xInc;

// Two full-resolution pixels to one packed texel: both lumas, and the chroma of the left one,
// where 4:2:2 sites its chroma sample (so a picture that went up to full resolution comes back
// with the chroma it had).
vec4 packPair(vec3 left, vec3 right)
{
    return vec4(left.z, left.x, left.y, right.x);
}
