#include "app/document/KLVDocumentClasses.h"

#include "app/document/KLVPlaylist.h"
#include "app/serialization/QMXMLNames.h"
#include "platform/foundation/Exception.h"

namespace KLVDocumentClasses {

void registerClasses(QMXMLRegistry& registry)
{
    registry.registerClass(QString::fromLatin1(KLVPlaylist::kClassName),
                           [](const platform::XmlElement& e, const QMXMLRegistry& r) {
                               return QMXMLValue(KLVPlaylist::fromQMXMLNode(e, r));
                           });
    registry.registerClass(QString::fromLatin1(KLVChannel::kClassName),
                           [](const platform::XmlElement& e, const QMXMLRegistry& r) {
                               return QMXMLValue(KLVChannel::fromQMXMLNode(e, r));
                           });
    registry.registerClass(QString::fromLatin1(KLVPlaylistNode::kClassName),
                           [](const platform::XmlElement& e, const QMXMLRegistry&) {
                               return QMXMLValue(KLVPlaylistNode::fromQMXMLNode(e));
                           });
}

namespace {
thread_local ReadLosses* innermostLosses = nullptr;
}

ReadLosses::ReadLosses() : outer_(innermostLosses)
{
    innermostLosses = this;
}

ReadLosses::~ReadLosses()
{
    innermostLosses = outer_;
    if (outer_)
        outer_->count_ += count_;
}

void ReadLosses::note()
{
    if (innermostLosses)
        ++innermostLosses->count_;
}

QString requireIvarName(const platform::XmlElement& child)
{
    const std::optional<QString> name = child.findAttribute(QString::fromLatin1(QMXMLNames::kIvarNameAttribute));
    if (!name)
        platform::Exception::raise(QStringLiteral("Missing ivarName"),
                                   QStringLiteral("Unable to init object from child node with no %1 attribute "),
                                   QString::fromLatin1(QMXMLNames::kIvarNameAttribute));
    return *name;
}

} // namespace KLVDocumentClasses
