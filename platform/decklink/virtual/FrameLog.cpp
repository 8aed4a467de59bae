#include "platform/decklink/virtual/FrameLog.h"

#include "platform/testpattern/FrameBarcode.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform::decklink {

FrameLog::FrameLog(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644))
{
}

FrameLog::~FrameLog()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void FrameLog::frameShown(const ShownFrame& shown)
{
    FrameLogRecord record;
    record.tick = shown.referencePeriod;
    record.repeated = shown.repeated ? 1 : 0;
    record.result = uint32_t(shown.result);
    void* bytes = nullptr;
    if (shown.frame && shown.frame->GetBytes(&bytes) == kOk && bytes) {
        record.width = uint32_t(shown.frame->GetWidth());
        record.height = uint32_t(shown.frame->GetHeight());
        if (shown.frame->GetPixelFormat() == kFormat8BitYUV) {
            const auto index = FrameBarcode::read(static_cast<const uint8_t*>(bytes), int(record.width),
                                                  int(record.height), shown.frame->GetRowBytes(),
                                                  BarcodePixels::Uyvy422);
            if (index)
                record.barcode = int64_t(*index);
        }
    }
    // A short write loses one record at worst; the reader sees only whole records.
    [[maybe_unused]] const ssize_t written = ::write(fd_, &record, sizeof record);
}

} // namespace platform::decklink
