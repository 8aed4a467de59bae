// CITP datagrams and stream messages: the header readers and the message registry down to the
// PINF and MSEX message classes. What decodes must encode again.
#include "comm/showcontrol/citp/QMCITPHeader.h"
#include "comm/showcontrol/citp/QMCITPMessage.h"
#include "platform/foundation/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::LogCapture quiet;
    quiet.clear();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QMCITPHeader::headerWithData(bytes);
    QMPINFHeader::headerWithData(bytes);
    QMMSEXHeader::headerWithData(bytes);
    if (auto message = QMCITPMessage::messageWithData(bytes))
        message->data();
    return 0;
}
