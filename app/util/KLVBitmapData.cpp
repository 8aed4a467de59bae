#include "app/util/KLVBitmapData.h"

namespace KLVBitmapData {

bool generateBitmapData(const QImage& image, const std::function<void(int, int, const uint8_t*)>& fn)
{
    if (image.isNull() || image.width() > kMaxSide || image.height() > kMaxSide)
        return false;
    // RGBA8888 rows are 4-byte aligned already, so the scan lines are tightly packed.
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.isNull())
        return false;
    fn(rgba.width(), rgba.height(), rgba.constBits());
    return true;
}

} // namespace KLVBitmapData
