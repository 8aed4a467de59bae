// BT.601, video range (Y 16..235, Cb and Cr 16..240 around 128).
vec3 rgbToYCbCr(vec3 rgb)
{
    return vec3(16.0, 128.0, 128.0) / 255.0
        + vec3(dot(rgb, vec3(65.481, 128.553, 24.966)), dot(rgb, vec3(-37.797, -74.203, 112.0)),
              dot(rgb, vec3(112.0, -93.786, -18.214)))
        / 255.0;
}

vec3 yCbCrToRgb(vec3 ycc)
{
    float y = 1.164384 * (ycc.x - 16.0 / 255.0);
    float cb = ycc.y - 0.5;
    float cr = ycc.z - 0.5;
    return clamp(vec3(y + 1.596027 * cr, y - 0.391762 * cb - 0.812968 * cr, y + 2.017232 * cb), 0.0, 1.0);
}
