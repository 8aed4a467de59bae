#include "comm/showcontrol/citp/QMCITPMessage.h"

#include "comm/showcontrol/citp/QMMSEXMessages.h"

#include <algorithm>
#include <atomic>

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<const QMCITPMessageClass*> classes;
};

void addUnlessPresent(std::vector<const QMCITPMessageClass*>& classes, const QMCITPMessageClass& messageClass)
{
    if (std::find(classes.begin(), classes.end(), &messageClass) == classes.end())
        classes.push_back(&messageClass);
}

Registry& registry()
{
    static Registry* instance = [] {
        auto* r = new Registry;
        for (const QMCITPMessageClass* c : {&QMCITPMessage::messageClass(), &QMPINFMessage::messageClass(),
                                            &QMPINFPLocMessage::messageClass(), &QMPINFPNamMessage::messageClass()})
            addUnlessPresent(r->classes, *c);
        for (const QMCITPMessageClass* c : QMMSEXMessage::leafClasses())
            addUnlessPresent(r->classes, *c);
        addUnlessPresent(r->classes, QMMSEXMessage::messageClass());
        return r;
    }();
    return *instance;
}

std::atomic<std::uint16_t> requestCounter{0};

} // namespace

QMCITPMessage::QMCITPMessage() : header_(std::make_shared<QMCITPHeader>()) {}

QMCITPMessage::~QMCITPMessage() = default;

const QMCITPMessageClass& QMCITPMessage::messageClass()
{
    // The base decodes through messageWithData itself; reaching it as a layer re-enters.
    static const QMCITPMessageClass c{"QMCITPMessage", kCITPCookie, false, nullptr};
    return c;
}

void QMCITPMessage::registerSubclass(const QMCITPMessageClass& messageClass)
{
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    addUnlessPresent(r.classes, messageClass);
}

std::vector<const QMCITPMessageClass*> QMCITPMessage::subclasses()
{
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    return r.classes;
}

const QMCITPMessageClass* QMCITPMessage::classForCookie(std::uint32_t cookie)
{
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    for (const QMCITPMessageClass* c : r.classes) {
        if (c->protocolCookie == cookie)
            return c;
    }
    return nullptr;
}

std::shared_ptr<QMCITPMessage> QMCITPMessage::messageWithData(const QByteArray& data)
{
    CITPCursor cursor;
    if (CITPReadUInt32(data, &cursor) != kCITPCookie || cursor.overrun)
        return nullptr;
    cursor.location = 16;
    const std::uint32_t contentType = CITPReadUInt32(data, &cursor);
    const QMCITPMessageClass* layer = cursor.overrun ? nullptr : classForCookie(contentType);
    if (!layer || !layer->layer || !layer->reader)
        return nullptr;
    return layer->reader(data);
}

void QMCITPMessage::prepareHeader()
{
    const auto size = std::uint32_t(data().size());
    header()->setMessageSize(size);
}

std::shared_ptr<QMCITPHeader> QMCITPMessage::header() const
{
    std::unique_lock lock(headerMutex_);
    return header_;
}

void QMCITPMessage::setHeader(std::shared_ptr<QMCITPHeader> header)
{
    std::unique_lock lock(headerMutex_);
    header_ = std::move(header);
}

std::uint16_t QMCITPNextRequestIndex()
{
    std::uint16_t current = requestCounter.load();
    std::uint16_t next = 0;
    do {
        next = current == 0xffff ? 1 : std::uint16_t(current + 1);
    } while (!requestCounter.compare_exchange_weak(current, next));
    return next;
}

void QMCITPSetRequestCounter(std::uint16_t value)
{
    requestCounter.store(value);
}

// --- PINF ---

QMPINFMessage::QMPINFMessage()
{
    auto header = std::make_shared<QMPINFHeader>();
    header->setCitpContentType(kPINFCookie);
    setHeader(header);
}

const QMCITPMessageClass& QMPINFMessage::messageClass()
{
    static const QMCITPMessageClass c{"QMPINFMessage", kPINFCookie, true, nullptr};
    return c;
}

std::shared_ptr<QMPINFHeader> QMPINFMessage::pinfHeader() const
{
    auto header = std::dynamic_pointer_cast<QMPINFHeader>(QMCITPMessage::header());
    if (header)
        return header;
    // A plain CITP header set from outside: write it with an empty PINF content type.
    auto pinf = std::make_shared<QMPINFHeader>();
    const auto base = QMCITPMessage::header();
    pinf->setRequestIndex(base->requestIndex());
    pinf->setMessageSize(base->messageSize());
    pinf->setCitpContentType(kPINFCookie);
    return pinf;
}

QMPINFPLocMessage::QMPINFPLocMessage()
{
    pinfHeader()->setPinfContentType(kPLocCookie);
}

const QMCITPMessageClass& QMPINFPLocMessage::messageClass()
{
    static const QMCITPMessageClass c{"QMPINFPLocMessage", kPLocCookie, false, nullptr};
    return c;
}

std::shared_ptr<QMPINFPLocMessage> QMPINFPLocMessage::plocMessageWithType(const QString& type, const QString& name, const QString& state)
{
    auto message = std::make_shared<QMPINFPLocMessage>();
    message->setType(type);
    message->setName(name);
    message->setState(state);
    return message;
}

QByteArray QMPINFPLocMessage::data() const
{
    QByteArray out = pinfHeader()->data();
    CITPWriter w(out);
    w.u16(listeningTCPPort_);
    w.text8(type_);
    w.text8(name_);
    w.text8(state_);
    return out;
}

QMPINFPNamMessage::QMPINFPNamMessage()
{
    pinfHeader()->setPinfContentType(kPNamCookie);
}

const QMCITPMessageClass& QMPINFPNamMessage::messageClass()
{
    static const QMCITPMessageClass c{"QMPINFPNamMessage", kPNamCookie, false, nullptr};
    return c;
}

std::shared_ptr<QMPINFPNamMessage> QMPINFPNamMessage::pnameMessageWithName(const QString& name)
{
    auto message = std::make_shared<QMPINFPNamMessage>();
    message->setName(name);
    return message;
}

QByteArray QMPINFPNamMessage::data() const
{
    QByteArray out = pinfHeader()->data();
    CITPWriter(out).text8(name_);
    return out;
}
