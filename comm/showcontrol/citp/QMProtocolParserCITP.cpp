#include "comm/showcontrol/citp/QMProtocolParserCITP.h"

#include "comm/core/QMApplicationCommands.h"
#include "comm/core/QMCommLog.h"
#include "comm/core/QMTCPNetworkHardwareCommunicator.h"
#include "comm/core/QMUDPNetworkHardwareCommunicator.h"
#include "comm/showcontrol/citp/QMCITPThumbnail.h"
#include "comm/showcontrol/citp/QMMSEXMessages.h"
#include "comm/timecode/QMTimeCode.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/SerialQueue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QSizeF>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>

namespace {

class CITPClass : public QMProtocolParserClassOf<QMProtocolParserCITP> {
public:
    CITPClass() : QMProtocolParserClassOf(QStringLiteral("QMProtocolParserCITP")) {}
    QString supportedProtocol() const override { return QStringLiteral("CITP"); }
    QString supportedProtocolIcon() const override { return QStringLiteral("CITP_Icon"); }
    QString supportedProtocolDescription() const override { return QStringLiteral("CITP support for transferring thumbnails to a lighting console"); }
    QStringList supportedHardwareCommunicators() const override { return {QMTCPNetworkHardwareCommunicator::tcpClass().className()}; }
    std::uint64_t protocolBehaviorMask() const override { return QMProtocolBehaviorDevice; }
};

QString k(const char* name)
{
    return QString::fromLatin1(name);
}

std::uint32_t saturated32(std::uint64_t value)
{
    return value > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max() : std::uint32_t(value);
}

std::uint8_t saturated8(double value)
{
    return !(value > 0) ? 0 : value >= 255 ? 255 : std::uint8_t(value);
}

std::uint16_t saturated16(double value)
{
    return !(value > 0) ? 0 : value >= 65535 ? 65535 : std::uint16_t(value);
}

// Frames from 00:00:00:00 of a time code made from a time at its frame rate: its whole seconds
// hold every frame that began within them (rounded up at rates such as 29.97), its frames field
// the rest. Without a rate only the frames field is known.
std::uint32_t framesFromStart(const QMTimeCode& timeCode)
{
    const double rate = timeCode.framerate();
    const double seconds = double(timeCode.hours()) * 3600.0 + double(timeCode.minutes()) * 60.0 + double(timeCode.seconds());
    const double whole = rate > 0 ? std::ceil(seconds * rate - 1e-6) : 0.0;
    const double total = whole + double(timeCode.frames());
    return total >= double(std::numeric_limits<std::uint32_t>::max()) ? std::numeric_limits<std::uint32_t>::max() : std::uint32_t(total);
}

QSizeF sizeValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QSize)
        return QSizeF(value.toSize());
    return value.toSizeF();
}

QMTimeCode timeCodeValue(const QVariant& value)
{
    return value.canConvert<QMTimeCode>() ? value.value<QMTimeCode>() : QMTimeCode::zeroTime();
}

QVariantList queryArray(const QVariant& answer)
{
    return answer.toMap().value(k(QMApplicationCommandQueryMediaArray)).toList();
}

} // namespace

// Waiting for the main thread from the parser's queue. Each hop's work holds a Finisher: when
// the work has run, or is dropped without running (the parser or the application went away),
// the Finisher's end wakes the waiter. Destruction also wakes every waiter at once.
struct QMProtocolParserCITP::HopHub {
    std::mutex mutex;
    std::condition_variable condition;
    bool stopping = false;

    struct Hop {
        bool finished = false;
        QVariant result;
    };
    struct Finisher {
        std::shared_ptr<HopHub> hub;
        std::shared_ptr<Hop> hop;
        Finisher(std::shared_ptr<HopHub> h, std::shared_ptr<Hop> p) : hub(std::move(h)), hop(std::move(p)) {}
        Finisher(const Finisher&) = delete;
        Finisher& operator=(const Finisher&) = delete;
        ~Finisher()
        {
            std::unique_lock lock(hub->mutex);
            hop->finished = true;
            hub->condition.notify_all();
        }
    };
};

const QMProtocolParserClass& QMProtocolParserCITP::citpClass()
{
    static const CITPClass instance;
    return instance;
}

void QMRegisterCITPClass()
{
    QMProtocolParserClass::registerClass(QMProtocolParserCITP::citpClass());
}

QMProtocolParserCITP::QMProtocolParserCITP()
    : udpCommunicator_(std::make_shared<QMUDPNetworkHardwareCommunicator>()),
      mainContext_(std::make_unique<QObject>()),
      hopHub_(std::make_shared<HopHub>()),
      messageProcessingQueue_(std::make_unique<platform::SerialQueue>("com.quenmark.CITP"))
{
    if (QCoreApplication* app = QCoreApplication::instance(); app && !platform::isMainThread())
        mainContext_->moveToThread(app->thread());
    udpCommunicator_->setSocketMode(QMSocketModeMulticastListen);
    udpCommunicator_->setPortNum(kPLocPort);
    udpCommunicator_->setHostname(QString::fromLatin1(kPLocGroup));
}

QMProtocolParserCITP::~QMProtocolParserCITP()
{
    {
        std::unique_lock lock(hopHub_->mutex);
        hopHub_->stopping = true;
        hopHub_->condition.notify_all();
    }
    // Work still queued runs (its questions to the application answer nothing) before the
    // tables it uses go away.
    messageProcessingQueue_.reset();
    // Timers and the context belong to the main thread. The last reference can be dropped on a
    // socket thread (a callback that was running when the device went away): the main-thread
    // side is then ended there, before anything queued for it could reach this object.
    const auto endMainSide = [this] {
        stopAllTimers();
        mainContext_.reset();
    };
    if (!QCoreApplication::instance() || platform::isMainThread())
        endMainSide();
    else if (!platform::dispatchMainSync(endMainSide))
        (void)mainContext_.release(); // the main thread no longer runs anything: nothing to guard
    udpCommunicator_->deactivate();
}

std::shared_ptr<QMTCPNetworkHardwareCommunicator> QMProtocolParserCITP::tcpCommunicator() const
{
    return std::dynamic_pointer_cast<QMTCPNetworkHardwareCommunicator>(hardwareCommunicator());
}

QString QMProtocolParserCITP::CITPDeviceName()
{
    if (!QCoreApplication::instance())
        return QStringLiteral("Kalvanto");
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

QVariant QMProtocolParserCITP::askApplication(const char* command)
{
    const QString name = k(command);
    if (!QCoreApplication::instance() || platform::isMainThread())
        return executeApplicationCommand(name, {});
    auto hop = std::make_shared<HopHub::Hop>();
    {
        std::unique_lock lock(hopHub_->mutex);
        if (hopHub_->stopping)
            return {};
    }
    auto finisher = std::make_shared<HopHub::Finisher>(hopHub_, hop);
    platform::dispatchMain(mainContext_.get(), [this, name, finisher] {
        const QVariant result = executeApplicationCommand(name, {});
        std::unique_lock lock(finisher->hub->mutex);
        finisher->hop->result = result;
    });
    finisher.reset(); // the queued work holds the only reference now
    std::unique_lock lock(hopHub_->mutex);
    hopHub_->condition.wait(lock, [&] { return hop->finished || hopHub_->stopping; });
    return hop->finished ? hop->result : QVariant();
}

void QMProtocolParserCITP::onMain(std::function<void()> fn)
{
    if (platform::isMainThread())
        fn();
    else
        platform::dispatchMain(mainContext_.get(), std::move(fn));
}

// --- timers (main thread) ---

void QMProtocolParserCITP::startLayerStatusTimer(const QString& connection)
{
    {
        std::unique_lock lock(mutex_);
        // The connection may have closed (or the server stopped) since the work was queued.
        if (!connectionVersions_.count(connection) || statusTimers_.count(connection))
            return;
    }
    auto* timer = new QTimer(mainContext_.get());
    timer->setInterval(kLayerStatusIntervalMs);
    QObject::connect(timer, &QTimer::timeout, mainContext_.get(), [this, connection] { sendLayerStatus(connection); });
    {
        std::unique_lock lock(mutex_);
        statusTimers_[connection] = timer;
    }
    timer->start();
}

void QMProtocolParserCITP::stopLayerStatusTimer(const QString& connection)
{
    QTimer* timer = nullptr;
    {
        std::unique_lock lock(mutex_);
        const auto it = statusTimers_.find(connection);
        if (it == statusTimers_.end())
            return;
        timer = it->second;
        statusTimers_.erase(it);
    }
    timer->stop();
    delete timer;
}

void QMProtocolParserCITP::stopAllTimers()
{
    std::map<QString, QTimer*> timers;
    {
        std::unique_lock lock(mutex_);
        timers.swap(statusTimers_);
    }
    for (auto& entry : timers) {
        entry.second->stop();
        delete entry.second;
    }
    if (udpBroadcastTimer_) {
        udpBroadcastTimer_->stop();
        delete udpBroadcastTimer_;
        udpBroadcastTimer_ = nullptr;
    }
}

std::size_t QMProtocolParserCITP::statusTimerCount() const
{
    std::unique_lock lock(mutex_);
    return statusTimers_.size();
}

bool QMProtocolParserCITP::isBroadcasting() const
{
    return udpBroadcastTimer_ && udpBroadcastTimer_->isActive();
}

QVariantMap QMProtocolParserCITP::connectionVersions(const QString& connection) const
{
    std::unique_lock lock(mutex_);
    const auto it = connectionVersions_.find(connection);
    return it == connectionVersions_.end() ? QVariantMap() : it->second;
}

// --- TCP events ---

void QMProtocolParserCITP::networkHardwareDidStartAccepting(QMTCPNetworkHardwareCommunicator*)
{
    udpCommunicator_->setParser(shared_from_this());
    udpCommunicator_->deactivate();
    udpCommunicator_->joinMulticastGroup();
    onMain([this] {
        if (udpBroadcastTimer_) {
            udpBroadcastTimer_->stop();
            delete udpBroadcastTimer_;
        }
        udpBroadcastTimer_ = new QTimer(mainContext_.get());
        udpBroadcastTimer_->setInterval(kPLocIntervalMs);
        QObject::connect(udpBroadcastTimer_, &QTimer::timeout, mainContext_.get(), [this] { broadcastPLoc(); });
        udpBroadcastTimer_->start();
    });
}

void QMProtocolParserCITP::networkHardwareDidDisconnect(QMTCPNetworkHardwareCommunicator*)
{
    // The communicator drops its connections without reporting each closed: forget them all
    // here, so no layer-status timer keeps sending to a connection that is gone.
    {
        std::unique_lock lock(mutex_);
        currentHeaderData_.clear();
        connectionVersions_.clear();
        negotiatedVersions_.clear();
    }
    onMain([this] { stopAllTimers(); });
    udpCommunicator_->deactivate();
}

void QMProtocolParserCITP::networkHardwareAcceptedNewConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection)
{
    hardware->readHeaderFromSocket(hardware->socketForIdentifier(connection), -1);
    auto pnam = QMPINFPNamMessage::pnameMessageWithName(CITPDeviceName());
    sendMessage(*pnam, connection);
}

void QMProtocolParserCITP::closeConnection(QMTCPNetworkHardwareCommunicator* hardware, const QString& connection)
{
    {
        std::unique_lock lock(mutex_);
        currentHeaderData_.erase(connection);
    }
    // After the read callback in progress has returned; the close is then reported as usual.
    hardware->delegateQueue().async([hardware, connection] {
        if (auto* socket = hardware->socketForIdentifier(connection))
            socket->disconnect();
    });
}

void QMProtocolParserCITP::networkHardwareReadHeaderFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& header, const QString& connection)
{
    const auto parsed = header.size() == QMCITPHeader::kLength ? QMCITPHeader::headerWithData(header) : nullptr;
    if (!parsed) {
        qmcomm::logError(QStringLiteral("failed to parse CITP header from data %1").arg(qmcomm::dataDescription(header)));
        closeConnection(hardware, connection);
        return;
    }
    const std::uint32_t size = parsed->messageSize();
    if (size <= std::uint32_t(QMCITPHeader::kLength) || size > kMaxMessageSize) {
        qmcomm::logError(QStringLiteral("malformed CITP message size %1 on %2; closing the connection").arg(size).arg(connection));
        closeConnection(hardware, connection);
        return;
    }
    {
        std::unique_lock lock(mutex_);
        currentHeaderData_[connection] = header;
    }
    hardware->readPayloadOfLength(size - QMCITPHeader::kLength, connection, kPayloadReadTimeout);
}

void QMProtocolParserCITP::networkHardwareReadDataFromConnection(QMTCPNetworkHardwareCommunicator* hardware, const QByteArray& data, const QString& connection)
{
    QByteArray message;
    {
        std::unique_lock lock(mutex_);
        const auto it = currentHeaderData_.find(connection);
        if (it != currentHeaderData_.end()) {
            message = it->second;
            currentHeaderData_.erase(it);
        }
    }
    if (message.isEmpty()) {
        qmcomm::logError(QStringLiteral("CITP payload without a header on %1").arg(connection));
        closeConnection(hardware, connection);
        return;
    }
    message.append(data);
    messageProcessingQueue_->sync([&] { handleMessage(message, connection); });
    hardware->readHeaderFromSocket(hardware->socketForIdentifier(connection), -1);
}

void QMProtocolParserCITP::networkHardwareConnectionClosed(QMTCPNetworkHardwareCommunicator*, const QString& connection)
{
    {
        std::unique_lock lock(mutex_);
        currentHeaderData_.erase(connection);
        connectionVersions_.erase(connection);
        negotiatedVersions_.erase(connection);
    }
    onMain([this, connection] { stopLayerStatusTimer(connection); });
}

// --- messages ---

void QMProtocolParserCITP::sendMessage(QMCITPMessage& message, const QString& connection)
{
    const auto tcp = tcpCommunicator();
    if (!tcp)
        return;
    message.header()->setRequestIndex(QMCITPNextRequestIndex());
    message.prepareHeader();
    tcp->writeData(message.data(), connection, kWriteTimeout);
}

void QMProtocolParserCITP::broadcastPLoc()
{
    const auto tcp = tcpCommunicator();
    QMPINFPLocMessage ploc;
    const quint16 bound = tcp ? tcp->localPort() : 0;
    ploc.setListeningTCPPort(bound ? bound : std::uint16_t(tcp ? tcp->portNum() : kDefaultTCPPort));
    ploc.setType(QStringLiteral("MediaServer"));
    ploc.setName(CITPDeviceName());
    ploc.setState(QStringLiteral("Running"));
    ploc.header()->setRequestIndex(QMCITPNextRequestIndex());
    ploc.prepareHeader();
    udpCommunicator_->writeData(ploc.data(), kWriteTimeout);
}

void QMProtocolParserCITP::handleMessage(const QByteArray& data, const QString& connection)
{
    const std::shared_ptr<QMCITPMessage> message = QMCITPMessage::messageWithData(data);
    const auto* msex = dynamic_cast<const QMMSEXMessage*>(message.get());
    if (msex) {
        const auto header = msex->msexHeader();
        bool first = false;
        {
            std::unique_lock lock(mutex_);
            if (!connectionVersions_.count(connection)) {
                connectionVersions_[connection] = QVariantMap{
                    {QStringLiteral("CITPVersionMajor"), header->versionMajor()},
                    {QStringLiteral("CITPVersionMinor"), header->versionMinor()},
                    {QStringLiteral("MSEXVersionMajor"), header->msexVersionMajor()},
                    {QStringLiteral("MSEXVersionMinor"), header->msexVersionMinor()},
                };
                first = true;
            }
        }
        if (first) {
            onMain([this, connection] { startLayerStatusTimer(connection); });
            // A console that opens with CInf gets its SInf in answer to it.
            const bool cinf = dynamic_cast<const QMMSEXCInfMessage*>(msex) != nullptr;
            if (!cinf && header->msexVersionMajor() == 1 && header->msexVersionMinor() < 2)
                messageProcessingQueue_->async([this, connection] { sendServerInformation(connection); });
        }
    }
    if (const auto* cinf = dynamic_cast<const QMMSEXCInfMessage*>(message.get())) {
        answerCInf(*cinf, connection);
    } else if (const auto* geli = dynamic_cast<const QMMSEXGELIMessage*>(message.get())) {
        if (const auto answer = responseForMSEXGELI(*geli, connection))
            sendMessage(*answer, connection);
    } else if (const auto* gein = dynamic_cast<const QMMSEXGEInMessage*>(message.get())) {
        if (const auto answer = responseForMSEXGEIn(*gein, connection))
            sendMessage(*answer, connection);
    } else if (const auto* geth = dynamic_cast<const QMMSEXGEThMessage*>(message.get())) {
        sendResponsesForMSEXGETh(*geth, connection);
    } else {
        CITPCursor cursor{16};
        const std::uint32_t citpType = CITPReadUInt32(data, &cursor);
        cursor.location = 22;
        const std::uint32_t layerType = CITPReadUInt32(data, &cursor);
        qmcomm::log(QStringLiteral("need to handle %1/%2 %3 on %4, parsed as %5")
                        .arg(CITPFourCCString(citpType), CITPFourCCString(layerType), qmcomm::dataDescription(data), connection,
                             message ? QString::fromLatin1(message->citpClass().name) : QStringLiteral("(null)")));
        // An MSEX request this server does not serve (or cannot read) is refused, so the console
        // does not wait for an answer; a console's own Nack is never answered.
        const auto header = QMMSEXHeader::headerWithData(data);
        if (citpType == kMSEXCookie && header && header->msexContentType() != QMMSEXNackMessage::protocolCookie())
            sendNack(*header, connection);
    }
}

void QMProtocolParserCITP::sendNack(const QMMSEXHeader& request, const QString& connection)
{
    auto nack = QMMSEXNackMessage::nackMessageForContentType(request.msexContentType());
    setReplyVersion(*nack->msexHeader(), request, connection);
    sendMessage(*nack, connection);
}

namespace {

constexpr std::uint16_t kNewestMSEXVersion = 0x0102;

std::uint16_t versionOf(const QMMSEXHeader& header)
{
    return std::uint16_t(header.msexVersionMajor() << 8 | header.msexVersionMinor());
}

void setVersion(QMMSEXHeader& header, std::uint16_t version)
{
    header.setMsexVersionMajor(std::uint8_t(version >> 8));
    header.setMsexVersionMinor(std::uint8_t(version & 0xFF));
}

} // namespace

std::optional<std::uint16_t> QMProtocolParserCITP::negotiatedVersion(const QString& connection) const
{
    std::unique_lock lock(mutex_);
    const auto it = negotiatedVersions_.find(connection);
    return it == negotiatedVersions_.end() ? std::nullopt : std::optional(it->second);
}

void QMProtocolParserCITP::setReplyVersion(QMMSEXHeader& reply, const QMMSEXHeader& request, const QString& connection) const
{
    setVersion(reply, negotiatedVersion(connection).value_or(std::min(versionOf(request), kNewestMSEXVersion)));
}

void QMProtocolParserCITP::answerCInf(const QMMSEXCInfMessage& cinf, const QString& connection)
{
    // The highest version both sides offer; a console that lists none speaks its header's.
    std::optional<std::uint16_t> chosen;
    for (const std::uint16_t offered : cinf.supportedMSEXVersions())
        if (offered >= 0x0100 && offered <= kNewestMSEXVersion && (!chosen || offered > *chosen))
            chosen = offered;
    const std::uint16_t version = chosen.value_or(std::clamp(versionOf(*cinf.msexHeader()), std::uint16_t(0x0100), kNewestMSEXVersion));
    {
        std::unique_lock lock(mutex_);
        negotiatedVersions_[connection] = version;
        // The layer status follows the negotiated version too.
        if (const auto it = connectionVersions_.find(connection); it != connectionVersions_.end()) {
            it->second.insert(QStringLiteral("MSEXVersionMajor"), std::uint8_t(version >> 8));
            it->second.insert(QStringLiteral("MSEXVersionMinor"), std::uint8_t(version & 0xFF));
        }
    }
    messageProcessingQueue_->async([this, connection, version] { sendServerInformation(connection, version); });
}

std::shared_ptr<QMCITPMessage> QMProtocolParserCITP::responseForMSEXGELI(const QMMSEXGELIMessage& request, const QString& connection)
{
    if (!request.libraryNumbers().isEmpty()) {
        auto nack = QMMSEXNackMessage::nackMessageForContentType(request.msexHeader()->msexContentType());
        setReplyVersion(*nack->msexHeader(), *request.msexHeader(), connection);
        return nack;
    }
    const QVariant answer = askApplication(QMApplicationCommandListMedia);
    const qsizetype files = answer.toMap().value(k(QMApplicationCommandListMediaParamMediaFiles)).toList().size();
    auto elin = std::make_shared<QMMSEXELInMessage>();
    elin->setLibraryType(kMediaLibraryType);
    QMMSEXElementLibraryInfo library;
    library.setNumber(0);
    library.setDmxRangeMin(1);
    library.setDmxRangeMax(1);
    library.setName(QStringLiteral("Library"));
    library.setElementCount(std::uint16_t(std::min<qsizetype>(files, 0xffff)));
    library.setLibraryCount(0);
    elin->addLibrary(library);
    // The console reads the list in the version it speaks.
    setReplyVersion(*elin->msexHeader(), *request.msexHeader(), connection);
    return elin;
}

std::shared_ptr<QMMSEXMEInMessage> QMProtocolParserCITP::responseForMSEXGEIn(const QMMSEXGEInMessage& request, const QString& connection)
{
    const QVariantList entries = queryArray(askApplication(QMApplicationCommandQueryMedia));
    auto mein = std::make_shared<QMMSEXMEInMessage>();
    const auto header = mein->msexHeader();
    setReplyVersion(*header, *request.msexHeader(), connection);
    mein->setLibraryId(request.libraryId());
    mein->setLibraryNumber(request.libraryNumber());
    // The count field cannot describe more: the list is cut to what it can.
    const qsizetype count = CITPWritableCount(entries.size(), header->is12());
    for (qsizetype i = 0; i < count; ++i) {
        const QVariantMap entry = entries[i].toMap();
        const QMTimeCode duration = timeCodeValue(entry.value(k(QMApplicationCommandQueryMediaDuration)));
        const QSizeF size = sizeValue(entry.value(k(QMApplicationCommandQueryMediaSize)));
        const qint64 modified = entry.value(k(QMApplicationCommandQueryMediaDateModified)).toDateTime().toSecsSinceEpoch();
        QMMSEXElementMediaInfo info;
        info.setMediaNumber(std::uint8_t(i));
        info.setSerialNumber(std::uint32_t(entry.value(k(QMApplicationCommandQueryMediaSerialNumber)).toLongLong()));
        info.setDmxRangeMin(std::uint8_t(i));
        info.setDmxRangeMax(std::uint8_t(i));
        info.setMediaName(entry.value(k(QMApplicationCommandQueryMediaFileName)).toString());
        info.setMediaVersionTimestamp(modified > 0 ? std::uint64_t(modified) : 0);
        info.setMediaWidth(saturated16(size.width()));
        info.setMediaHeight(saturated16(size.height()));
        info.setMediaLength(saturated32(duration.totalFrames()));
        info.setMediaFPS(saturated8(duration.framerate()));
        mein->addElementMediaInfo(info);
    }
    return mein;
}

void QMProtocolParserCITP::sendResponsesForMSEXGETh(const QMMSEXGEThMessage& request, const QString& connection)
{
    const QVariantList entries = queryArray(askApplication(QMApplicationCommandQueryMedia));
    std::vector<qsizetype> selection;
    if (request.elementNumbers().isEmpty()) {
        for (qsizetype i = 0; i < entries.size(); ++i)
            selection.push_back(i);
    } else {
        for (std::uint8_t n : request.elementNumbers()) {
            if (n < entries.size())
                selection.push_back(n);
        }
    }
    // Every thumbnail goes out in the version the console speaks; it also decides the RGB8 order.
    QMMSEXHeader version;
    setReplyVersion(version, *request.msexHeader(), connection);
    std::uint16_t part = 0;
    for (const qsizetype position : selection) {
        const QVariantMap entry = entries[position].toMap();
        const QImage image = entry.value(k(QMApplicationCommandQueryMediaThumbnail)).value<QImage>();
        if (image.isNull()) {
            qmcomm::log(QStringLiteral("No Thumbnail found in response: %1").arg(qmcomm::valueDescription(entry)));
            continue;
        }
        const auto thumbnail = QMCITPMakeThumbnail(image, request.thumbnailWidth(), request.thumbnailHeight(), request.thumbnailFlags(),
                                                   request.thumbnailFormat(), version.is10());
        if (!thumbnail)
            continue;
        QMMSEXEThnMessage ethn;
        const auto header = ethn.msexHeader();
        header->setMessagePartCount(std::uint16_t(std::min<std::size_t>(selection.size(), 0xffff)));
        header->setMessagePart(part);
        header->setMsexVersionMajor(version.msexVersionMajor());
        header->setMsexVersionMinor(version.msexVersionMinor());
        ethn.setLibraryId(request.libraryId());
        ethn.setLibraryNumber(request.libraryNumber());
        ethn.setLibraryType(request.libraryType());
        ethn.setThumbnailFormat(request.thumbnailFormat());
        ethn.setElementNumber(std::uint8_t(position));
        ethn.setThumbnailWidth(std::uint16_t(thumbnail->width));
        ethn.setThumbnailHeight(std::uint16_t(thumbnail->height));
        ethn.setThumbnailData(thumbnail->data);
        ++part;
        sendMessage(ethn, connection);
    }
    // Not one thumbnail to give: the console hears so rather than waiting.
    if (part == 0)
        sendNack(*request.msexHeader(), connection);
}

void QMProtocolParserCITP::sendServerInformation(const QString& connection, std::uint16_t version)
{
    const QVariantMap info = askApplication(QMApplicationCommandApplicationInfo).toMap();
    auto sinf = QMMSEXSInfMessage::sinfMessageForProductName(CITPDeviceName(), info.value(QStringLiteral("uuid")).toString(),
                                                             info.value(QStringLiteral("version")).toString());
    for (const QVariant& layer : info.value(QStringLiteral("layers")).toList())
        sinf->addDMXSource(layer.toMap().value(QStringLiteral("layerDMXString")).toString());
    for (std::uint32_t format : {kMSEXFormatRGB8, kMSEXFormatJPEG, kMSEXFormatPNG})
        sinf->addThumbnailFormat(format);
    // The one library served is a media library (bit n - 1 stands for library type n); no
    // stream is served, so none is listed.
    sinf->setSupportedLibraryTypes(std::uint16_t(1u << (kMediaLibraryType - 1)));
    for (std::uint16_t offered : {0x0100, 0x0101, 0x0102})
        sinf->addSupportedMSEXVersion(offered);
    // Before 1.2 the SInf has one layout, sent as 1.0.
    setVersion(*sinf->msexHeader(), version >= kNewestMSEXVersion ? kNewestMSEXVersion : 0x0100);
    sendMessage(*sinf, connection);
}

void QMProtocolParserCITP::sendLayerStatus(const QString& connection)
{
    QVariantMap versions = connectionVersions(connection);
    if (versions.isEmpty())
        return;
    QMMSEXLStaMessage lsta;
    const auto header = lsta.msexHeader();
    header->setMsexVersionMajor(std::uint8_t(versions.value(QStringLiteral("MSEXVersionMajor")).toUInt()));
    header->setMsexVersionMinor(std::uint8_t(versions.value(QStringLiteral("MSEXVersionMinor")).toUInt()));
    const QVariantMap cued = askApplication(QMApplicationCommandGetCuedMedia).toMap();
    const QVariantMap state = askApplication(QMApplicationGetState).toMap();
    const QMTimeCode current = timeCodeValue(cued.value(k(QMApplicationCommandGetCuedMediaParamCurrentTime)));
    const QMTimeCode duration = timeCodeValue(cued.value(k(QMApplicationCommandGetCuedMediaParamDuration)));
    QMMSEXLayerStatus layer;
    layer.setMediaName(cued.value(k(QMApplicationCommandGetCuedMediaParamMediaID)).toString());
    // Frame counts from the clip's start and the clip's rate: a console draws its progress from them.
    layer.setMediaPosition(framesFromStart(current));
    layer.setMediaLength(framesFromStart(duration));
    layer.setMediaFPS(saturated8(std::round(duration.framerate())));
    layer.setLayerStatusFlags(state.contains(k(QMApplicationStatePlay)) ? 1 : 0);
    lsta.addLayerStatus(layer);
    sendMessage(lsta, connection);
}
