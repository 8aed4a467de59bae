#pragma once
// The playlist part of a channel column: the table, an import button, the smart-folder switch
// with its folder button, and the spinner shown while an import or a folder scan runs.

#include <QWidget>

class KLVChannelController;
class KLVPlaylistTableView;
class QCheckBox;
class QProgressBar;
class QToolButton;

class KLVPlaylistPanel : public QWidget {
    Q_OBJECT
public:
    explicit KLVPlaylistPanel(KLVChannelController& channel, QWidget* parent = nullptr);

    KLVPlaylistTableView* table() const { return table_; }
    QCheckBox* smartToggleButton() const { return smartToggle_; }
    QProgressBar* progressIndicator() const { return progress_; }
    QToolButton* addButton() const { return add_; }

private:
    KLVChannelController& channel_;
    KLVPlaylistTableView* table_;
    QToolButton* add_;
    QCheckBox* smartToggle_;
    QToolButton* folder_;
    QProgressBar* progress_;
};
