#include "ui/logic/playlist/KLVPlaylistTableModel.h"

#include "app/document/KLVPlaylistNode.h"
#include "resources/strings/KLVLocalized.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <unordered_map>

namespace {

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

KLVPlaylistTableModel::KLVPlaylistTableModel(QObject* parent) : QAbstractTableModel(parent) {}

KLVPlaylistTableModel::~KLVPlaylistTableModel() = default;

void KLVPlaylistTableModel::setChannel(std::shared_ptr<KLVChannel> channel)
{
    channelWatch_.reset();
    beginResetModel();
    channel_ = std::move(channel);
    rows_ = channel_ ? channel_->playlistItems() : NodeList{};
    endResetModel();
    if (channel_)
        channelWatch_ = channel_->observers().subscribe(
            [this](const QString& key, bool before) { onChannelChanged(key, before); });
}

void KLVPlaylistTableModel::onChannelChanged(const QString& key, bool before)
{
    if (before || key != QLatin1String("playlistItems"))
        return;
    if (onMainThread()) {
        if (!editing_)
            reload();
        return;
    }
    // Someone changed the list on another thread: the rows are re-read on the main loop.
    QMetaObject::invokeMethod(this, [this] { reload(); }, Qt::QueuedConnection);
}

int KLVPlaylistTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int KLVPlaylistTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool KLVPlaylistTableModel::showsBlankThumbnail(const KLVPlaylistNode& node)
{
    return node.thumbnail().cacheKey() == KLVPlaylistNode::blankThumbnail().cacheKey();
}

QString KLVPlaylistTableModel::behaviorTitle(long behavior)
{
    switch (behavior) {
    case 1: return QCoreApplication::translate("KLVPlaylistTableModel", "Loop");
    case 2: return QCoreApplication::translate("KLVPlaylistTableModel", "Next Cue");
    default: return QCoreApplication::translate("KLVPlaylistTableModel", "Stop");
    }
}

QVariant KLVPlaylistTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const NodePtr& node = rows_[size_t(index.row())];
    const bool stub = node->isStub();
    if (role == IsStubRole)
        return stub;
    if (role == FileMissingRole)
        return !stub && !node->fileExistsAtSourcePath();
    if (role == BehaviorRole)
        return qlonglong(node->playbackBehavior());

    // A stub shows its label and the blank picture; a missing file its name and picture only.
    const bool showTimes = !stub && node->fileExistsAtSourcePath();
    switch (index.column()) {
    case ThumbnailColumn:
        if (role != Qt::DecorationRole)
            return {};
        if (stub)
            return KLVPlaylistNode::blankThumbnail();
        if (thumbnailWanted && showsBlankThumbnail(*node) && !node->thumbnailIsLoading()
            && thumbnailAsked_.insert(node.get()).second) {
            thumbnailQueue_.push_back(node);
            if (!thumbnailPosted_) {
                thumbnailPosted_ = true;
                auto* self = const_cast<KLVPlaylistTableModel*>(this);
                QMetaObject::invokeMethod(self, [self] {
                    self->thumbnailPosted_ = false;
                    auto queue = std::exchange(self->thumbnailQueue_, {});
                    for (const auto& weak : queue)
                        if (NodePtr n = weak.lock(); n && showsBlankThumbnail(*n) && !n->thumbnailIsLoading()
                                                     && self->thumbnailWanted)
                            self->thumbnailWanted(n);
                }, Qt::QueuedConnection);
            }
        }
        return node->thumbnail();
    case NameColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return stub ? KLVLocalized::text("QM_STUB") : node->plnName().value_or(QString());
        return {};
    case InPointColumn:
        if (role == Qt::DisplayRole && showTimes)
            return node->inPointString();
        return {};
    case OutPointColumn:
        if (role == Qt::DisplayRole && showTimes)
            return node->outPointString();
        return {};
    case BehaviorColumn:
        if (!showTimes)
            return {};
        if (role == Qt::DisplayRole)
            return behaviorTitle(long(node->playbackBehavior()));
        if (role == Qt::EditRole)
            return int(node->playbackBehavior());
        return {};
    default:
        return {};
    }
}

bool KLVPlaylistTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || index.column() != BehaviorColumn
        || role != Qt::EditRole)
        return false;
    bool ok = false;
    const int behavior = value.toInt(&ok);
    if (!ok)
        return false;
    const NodePtr& node = rows_[size_t(index.row())];
    if (behavior >= 0 && behavior < 3)
        node->setPlaybackBehavior(behavior);
    emit dataChanged(index, index);
    if (behaviorEdited)
        behaviorEdited();
    return true;
}

QVariant KLVPlaylistTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ThumbnailColumn: return QString();
    case NameColumn: return tr("Name");
    case InPointColumn: return tr("In");
    case OutPointColumn: return tr("Out");
    case BehaviorColumn: return tr("End");
    default: return {};
    }
}

Qt::ItemFlags KLVPlaylistTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    const bool smart = channel_ && channel_->isSmart();
    if (!smart)
        f |= Qt::ItemIsDropEnabled;
    if (!index.isValid())
        return f;
    if (!smart)
        f |= Qt::ItemIsDragEnabled;
    if (index.column() == BehaviorColumn && data(index, Qt::EditRole).isValid())
        f |= Qt::ItemIsEditable;
    return f;
}

KLVPlaylistTableModel::NodePtr KLVPlaylistTableModel::nodeAt(long row) const
{
    return row >= 0 && size_t(row) < rows_.size() ? rows_[size_t(row)] : nullptr;
}

long KLVPlaylistTableModel::rowOf(const NodePtr& node) const
{
    const auto it = std::find(rows_.begin(), rows_.end(), node);
    return it == rows_.end() ? -1 : long(it - rows_.begin());
}

std::vector<long> KLVPlaylistTableModel::rowsOf(const NodeList& nodes, const std::vector<long>& hints) const
{
    if (hints.size() == nodes.size() && !nodes.empty()) {
        std::vector<long> rows;
        for (size_t i = 0; i < nodes.size(); ++i) {
            const long r = hints[i];
            if (r < 0 || size_t(r) >= rows_.size() || rows_[size_t(r)] != nodes[i])
                break;
            rows.push_back(r);
        }
        std::sort(rows.begin(), rows.end());
        if (rows.size() == nodes.size() && std::adjacent_find(rows.begin(), rows.end()) == rows.end())
            return rows;
    }
    // One pass over the rows, whatever the number of cues asked for.
    std::unordered_map<const KLVPlaylistNode*, int> wanted;
    for (const NodePtr& node : nodes)
        ++wanted[node.get()];
    std::vector<long> rows;
    for (size_t r = 0; r < rows_.size() && rows.size() < nodes.size(); ++r) {
        const auto it = wanted.find(rows_[r].get());
        if (it != wanted.end() && it->second > 0) {
            --it->second;
            rows.push_back(long(r));
        }
    }
    return rows;
}

void KLVPlaylistTableModel::commit()
{
    if (!channel_)
        return;
    editing_ = true;
    channel_->setPlaylistItems(rows_);
    editing_ = false;
}

void KLVPlaylistTableModel::insertNodes(const NodeList& nodes, std::vector<long> rows)
{
    const size_t n = std::min(nodes.size(), rows.size());
    if (n == 0)
        return;
    std::sort(rows.begin(), rows.begin() + long(n));
    // Where each node really lands: never past the end of the list as it grows.
    std::vector<long> at(n);
    for (size_t i = 0; i < n; ++i)
        at[i] = std::clamp<long>(rows[i], 0, long(rows_.size() + i));
    size_t i = 0;
    while (i < n) {
        size_t j = i;
        while (j + 1 < n && at[j + 1] == at[j] + 1)
            ++j;
        beginInsertRows({}, int(at[i]), int(at[j]));
        rows_.insert(rows_.begin() + at[i], nodes.begin() + long(i), nodes.begin() + long(j) + 1);
        endInsertRows();
        i = j + 1;
    }
    commit();
}

std::vector<long> KLVPlaylistTableModel::removeNodes(const NodeList& nodes, const std::vector<long>& hints)
{
    const std::vector<long> rows = rowsOf(nodes, hints);
    if (rows.empty())
        return rows;
    size_t j = rows.size();
    while (j > 0) {
        size_t i = j - 1;
        while (i > 0 && rows[i - 1] == rows[i] - 1)
            --i;
        beginRemoveRows({}, int(rows[i]), int(rows[j - 1]));
        rows_.erase(rows_.begin() + rows[i], rows_.begin() + rows[j - 1] + 1);
        endRemoveRows();
        j = i;
    }
    commit();
    return rows;
}

KLVPlaylistTableModel::NodeList KLVPlaylistTableModel::replaceRows(const std::vector<long>& rows,
                                                                  const NodeList& nodes, NodeList* padding)
{
    const size_t n = std::min(nodes.size(), rows.size());
    NodeList old;
    if (n == 0)
        return old;
    long last = -1, first = long(rows_.size());
    for (size_t i = 0; i < n; ++i) {
        if (rows[i] < 0)
            continue;
        last = std::max(last, rows[i]);
        first = std::min(first, rows[i]);
    }
    if (last < 0)
        return old;
    if (size_t(last) >= rows_.size()) {
        // Rows below the end of a shorter list are made first, as stubs.
        beginInsertRows({}, int(rows_.size()), int(last));
        while (rows_.size() <= size_t(last)) {
            rows_.push_back(KLVPlaylistNode::create());
            if (padding)
                padding->push_back(rows_.back());
        }
        endInsertRows();
        first = std::min(first, last);
    }
    for (size_t i = 0; i < n; ++i) {
        if (rows[i] < 0)
            continue;
        old.push_back(rows_[size_t(rows[i])]);
        rows_[size_t(rows[i])] = nodes[i];
    }
    emit dataChanged(index(int(first), 0), index(int(last), ColumnCount - 1));
    commit();
    return old;
}

void KLVPlaylistTableModel::replaceByIdentity(const NodeList& from, const NodeList& to, const std::vector<long>& hints)
{
    const size_t n = std::min(from.size(), to.size());
    // Where each cue of from is: at its hinted row when it is still there, else searched for.
    std::vector<long> at(n, -1);
    bool searched = false;
    std::unordered_map<const KLVPlaylistNode*, long> rowOfNode;
    for (size_t i = 0; i < n; ++i) {
        const long hint = i < hints.size() ? hints[i] : -1;
        if (hint >= 0 && size_t(hint) < rows_.size() && rows_[size_t(hint)] == from[i]) {
            at[i] = hint;
            continue;
        }
        if (!searched) {
            searched = true;
            for (size_t r = rows_.size(); r-- > 0;)
                rowOfNode[rows_[r].get()] = long(r); // the first row of a cue listed twice
        }
        if (const auto it = rowOfNode.find(from[i].get()); it != rowOfNode.end()) {
            at[i] = it->second;
            rowOfNode.erase(it);
        }
    }
    long first = -1, last = -1;
    for (size_t i = 0; i < n; ++i) {
        if (at[i] < 0 || rows_[size_t(at[i])] != from[i])
            continue; // gone, or the same cue twice in from
        rows_[size_t(at[i])] = to[i];
        first = first < 0 ? at[i] : std::min(first, at[i]);
        last = std::max(last, at[i]);
    }
    if (first < 0)
        return;
    emit dataChanged(index(int(first), 0), index(int(last), ColumnCount - 1));
    commit();
}

void KLVPlaylistTableModel::reload()
{
    beginResetModel();
    rows_ = channel_ ? channel_->playlistItems() : NodeList{};
    endResetModel();
}

void KLVPlaylistTableModel::reloadRows(const std::vector<long>& rows, int column)
{
    for (long row : rows)
        if (row >= 0 && size_t(row) < rows_.size())
            emit dataChanged(index(int(row), column), index(int(row), column));
}
