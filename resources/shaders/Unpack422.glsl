uniform sampler2DRect texUnitY;
uniform float cosHue;
uniform float sinHue;
uniform float saturation;
uniform float brightness;
uniform float contrast;

// The full-resolution pixel in column x of packed row t: its own luma, and chroma taken from its
// pair (even pixels) or halfway to the next pair (odd pixels, where 4:2:2 has no sample).
vec3 unpackPixel(float x, float t)
{
    float column = floor(x);
    float pair = floor(column * 0.5);
    vec4 texel = texture2DRect(texUnitY, vec2(pair + 0.5, t));
    if (mod(column, 2.0) < 0.5)
        return vec3(texel.g, texel.b, texel.r);
    vec4 next = texture2DRect(texUnitY, vec2(pair + 1.5, t));
    return vec3(texel.a, 0.5 * (texel.b + next.b), 0.5 * (texel.r + next.r));
}

// Contrast and brightness on luma, hue rotation and saturation on chroma (video range).
vec3 adjustColour(vec3 ycc)
{
    float y = (ycc.x - 16.0 / 255.0) * contrast + 16.0 / 255.0 + brightness;
    vec2 c = ycc.yz - vec2(0.5);
    vec2 rotated = vec2(c.x * cosHue - c.y * sinHue, c.y * cosHue + c.x * sinHue) * saturation;
    return vec3(y, rotated + vec2(0.5));
}
