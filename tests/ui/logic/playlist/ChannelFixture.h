#pragma once
// Channels over the fake application delegate, with media files that exist (the import only
// looks at names and extensions; the fake helper answers for the media).

#include "app/document/KLVChannel.h"
#include "app/document/KLVPlaylistNode.h"
#include "tests/support/TempFolder.h"
#include "tests/ui/support/FakeChannelDelegate.h"
#include "tests/ui/support/FakePlaybackEngine.h"
#include "tests/ui/support/KLVChannelControllerTestAccess.h"
#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/logic/channel/KLVChannelTableEdits.h"

#include <QVariantMap>

#include <memory>
#include <vector>

struct ChannelFixture {
    testsupport::TempFolder home;
    testsupport::FakeChannelDelegate app;
    std::vector<std::unique_ptr<KLVChannelController>> channels;

    KLVChannelController& channel(long tag)
    {
        while (long(channels.size()) < tag) {
            channels.push_back(std::make_unique<KLVChannelController>(app, long(channels.size()) + 1,
                                                                      std::make_unique<testsupport::FakePlaybackEngine>()));
            app.controllers.append(channels.back().get());
        }
        return *channels[size_t(tag - 1)];
    }

    QString file(const QString& name) { return home.writeFile(QStringLiteral("media/") + name, "x"); }

    std::shared_ptr<KLVPlaylistNode> cue(const QString& name)
    {
        auto node = KLVPlaylistNode::create();
        node->setPlnName(name);
        node->setPlnSourcePath(file(name + QStringLiteral(".mov")));
        return node;
    }

    // Fills a channel without undo entries.
    void fill(KLVChannelController& c, const std::vector<std::shared_ptr<KLVPlaylistNode>>& nodes)
    {
        c.channel()->setPlaylistItems(nodes);
    }

    static QStringList names(KLVChannelController& c)
    {
        QStringList out;
        for (const auto& node : c.channel()->playlistItems())
            out.append(node->isStub() ? QStringLiteral("-") : node->plnName().value_or(QString()));
        return out;
    }

    static QVariantMap metadata(bool valid)
    {
        return {{QStringLiteral("size"), QStringLiteral("1920x1080")},
                {QStringLiteral("format"), QStringLiteral("h264")},
                {QStringLiteral("duration"), 12.0},
                {QStringLiteral("fps"), 25.0},
                {QStringLiteral("validFormat"), valid ? QStringLiteral("YES") : QStringLiteral("NO")}};
    }
};
