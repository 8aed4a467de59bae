#pragma once
// Record mode: the operation-mode switch, input device and mode, codec and file settings, the
// free-space check and prepare/start/stop/cancel of a recording.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class KLVChannelController;
class KLVPlaylistNode;

class KLVChannelRecord {
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    explicit KLVChannelRecord(KLVChannelController& channel) : channel_(channel) {}
    KLVChannelRecord(const KLVChannelRecord&) = delete;
    KLVChannelRecord& operator=(const KLVChannelRecord&) = delete;

    long operationMode() const;
    void setOperationMode(long mode, bool affectingEncoder);
    void updateFileSizeDescription(bool recording);
    // Bytes this channel's recording needs on the named volume (0 unless recording there).
    float spaceNeededOnVolume(const QString& volume) const;
    QString getVolume() const;
    bool isRecording() const { return false; }

private:
    KLVChannelController& channel_;
};
