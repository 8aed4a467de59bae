uniform float xInc;

// Two full-resolution pixels to one packed texel: both lumas, the mean of their chroma.
vec4 packPair(vec3 left, vec3 right)
{
    vec2 chroma = 0.5 * (left.yz + right.yz);
    return vec4(chroma.y, left.x, chroma.x, right.x);
}
