#pragma once
// One channel's cues as a table: thumbnail, name, in point, out point and end-of-clip behaviour.
// The model keeps its own copy of the cue list so rows stay consistent with the signals it has
// sent; every structural edit goes through it (it changes the channel and announces the rows in
// one step). Changes made to the channel behind its back reset the model. Main thread.

#include "app/document/KLVChannel.h"
#include "platform/foundation/ObserverList.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

class KLVPlaylistTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using NodePtr = std::shared_ptr<KLVPlaylistNode>;
    using NodeList = KLVChannel::NodeList;

    enum Column { ThumbnailColumn = 0, NameColumn, InPointColumn, OutPointColumn, BehaviorColumn, ColumnCount };
    enum Role {
        IsStubRole = Qt::UserRole + 1,
        FileMissingRole, // a cue whose file is not there (shows name, thumbnail and the locate button)
        BehaviorRole,    // 0 stop, 1 loop, 2 next cue
    };

    explicit KLVPlaylistTableModel(QObject* parent = nullptr);
    ~KLVPlaylistTableModel() override;

    void setChannel(std::shared_ptr<KLVChannel> channel);
    std::shared_ptr<KLVChannel> channel() const { return channel_; }
    // The channel's list is being changed by one of this model's edits (an undo step may make
    // several before it ends).
    bool isCommitting() const { return editing_; }

    // Called (later, on the main loop) for a shown cue whose thumbnail is still the blank one
    // and is not loading; once per cue, so a file the helper cannot picture is not asked about
    // again at every repaint.
    std::function<void(const NodePtr&)> thumbnailWanted;
    // A behaviour chosen in the table (after the cue has it).
    std::function<void()> behaviorEdited;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction | Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction | Qt::MoveAction; }

    const NodeList& nodes() const { return rows_; }
    NodePtr nodeAt(long row) const;
    long rowOf(const NodePtr& node) const;
    // The rows of those nodes that are in the list, ascending. hints: where the nodes are
    // expected (checked first; the list is searched when one of them is wrong).
    std::vector<long> rowsOf(const NodeList& nodes, const std::vector<long>& hints = {}) const;

    // --- edits (each changes the channel and announces the rows) ---
    // nodes[i] lands at rows[i] of the result (rows ascending); a row past the end appends.
    void insertNodes(const NodeList& nodes, std::vector<long> rows);
    // Removes those node objects wherever they are; returns the rows they had, ascending.
    std::vector<long> removeNodes(const NodeList& nodes, const std::vector<long>& hints = {});
    // Puts nodes[i] at rows[i]; rows past the end are first filled with stubs (told through
    // padding). Returns the nodes that were there.
    NodeList replaceRows(const std::vector<long>& rows, const NodeList& nodes, NodeList* padding = nullptr);
    // Each cue of from that is still in the list is replaced by the cue of to at the same
    // position in the lists.
    void replaceByIdentity(const NodeList& from, const NodeList& to, const std::vector<long>& hints = {});
    // Re-reads the channel's list.
    void reload();
    void reloadRows(const std::vector<long>& rows, int column);

    static bool showsBlankThumbnail(const KLVPlaylistNode& node);
    static QString behaviorTitle(long behavior);

private:
    void commit();
    void onChannelChanged(const QString& key, bool before);

    std::shared_ptr<KLVChannel> channel_;
    NodeList rows_;
    platform::Subscription channelWatch_;
    bool editing_ = false;
    mutable bool thumbnailPosted_ = false;
    mutable std::vector<std::weak_ptr<KLVPlaylistNode>> thumbnailQueue_;
    mutable std::unordered_set<const KLVPlaylistNode*> thumbnailAsked_;
};
