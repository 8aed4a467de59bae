#pragma once
// Recording implementations of the channel interfaces: every call is appended to `calls` as the
// operation's name (with its argument where it has one), so a test can check what a command did.
#include "comm/core/app/KLVChannelControlling.h"
#include "comm/core/app/KLVChannelProviding.h"

#include <QStringList>

#include <memory>
#include <vector>

class FakePlaylistItem : public KLVPlaylistItem {
public:
    FakePlaylistItem(QString name, QMTimeCode duration) : name_(std::move(name)), duration_(duration) {}
    QString plnName() const override { return name_; }
    QMTimeCode durationTimeCode() const override { return duration_; }

private:
    QString name_;
    QMTimeCode duration_;
};

class FakeChannelPlaylist : public KLVChannelPlaylist {
public:
    QList<std::shared_ptr<KLVPlaylistItem>> items;
    QList<std::shared_ptr<KLVPlaylistItem>> playlistItems() const override { return items; }
};

class FakeMovieController : public KLVMovieControlling {
public:
    QStringList calls;
    QMTimeCode current;
    QMTimeCode remaining;
    bool playing = false;

    void play() override { calls << QStringLiteral("play"); playing = true; }
    void stop() override { calls << QStringLiteral("stop"); playing = false; }
    void pause() override { calls << QStringLiteral("pause"); playing = false; }
    void rewind() override { calls << QStringLiteral("rewind"); }
    void fastForward() override { calls << QStringLiteral("fastForward"); }
    void stepForward() override { calls << QStringLiteral("stepForward"); }
    void stepBackward() override { calls << QStringLiteral("stepBackward"); }
    void goToBeginning() override { calls << QStringLiteral("goToBeginning"); }
    void goToEnd() override { calls << QStringLiteral("goToEnd"); }
    void playAtRate(float rate) override;
    bool setInPoint(const QMTimeCode& t) override { calls << QStringLiteral("setInPoint ") + t.stringValue(); return true; }
    bool setOutPoint(const QMTimeCode& t) override { calls << QStringLiteral("setOutPoint ") + t.stringValue(); return true; }
    bool setOutPointAsDurationFromInPoint(const QMTimeCode& t) override { calls << QStringLiteral("setOutPointAsDurationFromInPoint ") + t.stringValue(); return true; }
    void seekToTimeCode(const QMTimeCode& t) override { calls << QStringLiteral("seekToTimeCode ") + t.stringValue(); }
    void seekToSeconds(double seconds, int mode) override { calls << QStringLiteral("seekToSeconds %1 %2").arg(seconds).arg(mode); }
    void updateTimeCode() override { calls << QStringLiteral("updateTimeCode"); }
    void restoreCueRange() override { calls << QStringLiteral("restoreCueRange"); }
    QMTimeCode currentTime() const override { return current; }
    QMTimeCode remainingTime() const override { return remaining; }
    QMTimeCode duration() const override { return QMTimeCode(); }
    bool isPlaying() const override { return playing; }
};

class FakeChannelController : public KLVChannelControlling {
public:
    explicit FakeChannelController(long tag) : tag_(tag) {}

    QStringList calls;
    QString name;
    bool master = false;
    long selected = -1;
    FakeMovieController movie;
    FakeChannelPlaylist playlist;

    long tag() const override { return tag_; }
    QString channelName() const override { return name; }
    KLVMovieControlling* movieController() override { return &movie; }
    KLVChannelPlaylist* channelData() override { return &playlist; }
    bool isMaster() const override { return master; }
    void playMaster(void*) override { calls << QStringLiteral("playMaster"); }
    void stopMaster(void*) override { calls << QStringLiteral("stopMaster"); }
    void pauseMaster(void*) override { calls << QStringLiteral("pauseMaster"); }
    void seekMasterToTimeCode(const QMTimeCode& t) override { calls << QStringLiteral("seekMasterToTimeCode ") + t.stringValue(); }
    std::shared_ptr<KLVPlaylistItem> currentNode() const override;
    long selectedIndex() const override { return selected; }
    void selectPlaylistItemAtIndex(long index) override;
    void scrollToSelection() override { calls << QStringLiteral("scrollToSelection"); }
    std::shared_ptr<KLVPlaylistItem> nodeWithName(const QString& name) const override;

private:
    long tag_;
};

// Channels tagged 1..count; the all-channels target forwards to each movie controller in order.
class FakeChannelProvider : public KLVChannelProviding, private KLVMovieDelegate {
public:
    explicit FakeChannelProvider(int count);
    std::vector<std::unique_ptr<FakeChannelController>> channels;

    QList<KLVChannelControlling*> channelControllers() const override;
    KLVChannelControlling* channelControllerForTag(long tag) const override;
    KLVMovieDelegate& allChannelsMovieDelegate() override { return *this; }
    FakeChannelController& channel(long tag) { return *channels.at(size_t(tag - 1)); }

private:
    template <class F>
    void each(F f)
    {
        for (auto& c : channels)
            f(c->movie);
    }
    void play() override { each([](auto& m) { m.play(); }); }
    void stop() override { each([](auto& m) { m.stop(); }); }
    void pause() override { each([](auto& m) { m.pause(); }); }
    void rewind() override { each([](auto& m) { m.rewind(); }); }
    void fastForward() override { each([](auto& m) { m.fastForward(); }); }
    void stepForward() override { each([](auto& m) { m.stepForward(); }); }
    void stepBackward() override { each([](auto& m) { m.stepBackward(); }); }
    void goToBeginning() override { each([](auto& m) { m.goToBeginning(); }); }
    void goToEnd() override { each([](auto& m) { m.goToEnd(); }); }
    void playAtRate(float rate) override { each([rate](auto& m) { m.playAtRate(rate); }); }
    void seekToSeconds(double seconds, int mode) override { each([=](auto& m) { m.seekToSeconds(seconds, mode); }); }
    void seekToTimeCode(const QMTimeCode& t) override { each([&](auto& m) { m.seekToTimeCode(t); }); }
    bool setInPoint(const QMTimeCode& t) override { each([&](auto& m) { m.setInPoint(t); }); return true; }
    bool setOutPoint(const QMTimeCode& t) override { each([&](auto& m) { m.setOutPoint(t); }); return true; }
    bool setOutPointAsDurationFromInPoint(const QMTimeCode& t) override { each([&](auto& m) { m.setOutPointAsDurationFromInPoint(t); }); return true; }
    QMTimeCode currentTime() const override { return QMTimeCode(); }
    QMTimeCode remainingTime() const override { return QMTimeCode(); }
    QMTimeCode duration() const override { return QMTimeCode(); }
};
