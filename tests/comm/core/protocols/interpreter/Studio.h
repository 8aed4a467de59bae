#pragma once
// A deck-control parser on a real transport, driven through the application's command
// interpreter into four recording channels: "Main", "Camera" (two items, "Bumper" loaded at
// 01:02:03:04), "Three" and "Four".
#include "comm/core/interpreter/QMCommModuleConnectionManager.h"
#include "tests/comm/core/fakes/FakeChannels.h"
#include "tests/comm/core/protocols/deckfakes/DeckRig.h"
#include "tests/comm/core/protocols/vdcp/VdcpPeer.h"

#include <optional>

namespace studio {

struct Studio {
    FakeChannelProvider app{4};
    DeckRig rig;
    std::shared_ptr<QMCommModuleConnectionManager> manager;

    explicit Studio(std::shared_ptr<QMProtocolParser> parser) : rig(std::move(parser))
    {
        manager = std::make_shared<QMCommModuleConnectionManager>(rig.folder->filePath(QStringLiteral("data")));
        manager->setDelegate(&app);
        manager->setCommModuleController(&rig.controller);
        rig.controller.setCommandInterpreter(manager);
        const QStringList names{QStringLiteral("Main"), QStringLiteral("Camera"), QStringLiteral("Three"), QStringLiteral("Four")};
        for (int tag = 1; tag <= 4; ++tag)
            app.channel(tag).name = names.at(tag - 1);
        auto& camera = app.channel(2);
        for (const char* name : {"Interview_long", "Bumper"})
            camera.playlist.items << std::make_shared<FakePlaylistItem>(QString::fromLatin1(name), QMTimeCode::timecodeWithFrames(0, 30, 0, 0));
        camera.selected = 1;
        camera.movie.current = QMTimeCode::timecodeWithFrames(4, 3, 2, 1);
    }
    // Makes the parser a configured device of this channel (it is "Multi Channel" otherwise).
    void configureFor(long channel) { manager->connectionWrapperForParser(rig.parser)->setKlvChannelIndex(channel); }
    int plays(int tag) { return int(app.channel(tag).movie.calls.count(QStringLiteral("play"))); }
    void clearCalls()
    {
        for (auto& c : app.channels) {
            c->calls.clear();
            c->movie.calls.clear();
        }
    }
};

inline std::optional<vdcppeer::Reply> ask(PeerLink& peer, const QByteArray& frame)
{
    peer.send(frame);
    QByteArray stream = peer.receiveUntil([](const QByteArray& s) { return vdcppeer::holdsReplies(s, 1); });
    return vdcppeer::takeReply(stream);
}

} // namespace studio
