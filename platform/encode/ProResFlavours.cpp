#include "platform/encode/ProResFlavours.h"

namespace platform::encode {

namespace {

// Profile numbers are those of FFmpeg's prores_ks "profile" option.
constexpr ProResFlavour kFlavours[kProResFlavourCount] = {
    {0, "ap4h", "Apple ProRes 4444", 4, 0.766028881, true},
    {1, "apch", "Apple ProRes 422(HQ)", 3, 0.510685920, false},
    {2, "apcn", "Apple ProRes 422", 2, 0.340264708, false},
    {3, "apcs", "Apple ProRes 422(LT)", 1, 0.237145439, false},
    {4, "apco", "Apple ProRes 422(proxy)", 0, 0.104852371, false},
};

} // namespace

const ProResFlavour* proResFlavour(int index)
{
    if (index < 0 || index >= kProResFlavourCount)
        return nullptr;
    return &kFlavours[index];
}

} // namespace platform::encode
