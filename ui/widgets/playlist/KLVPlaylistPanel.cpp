#include "ui/widgets/playlist/KLVPlaylistPanel.h"

#include "ui/logic/channel/KLVChannelController.h"
#include "ui/logic/channel/KLVChannelImport.h"
#include "ui/widgets/common/KLVControlNames.h"
#include "ui/widgets/playlist/KLVPlaylistTableView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

KLVPlaylistPanel::KLVPlaylistPanel(KLVChannelController& channel, QWidget* parent)
    : QWidget(parent), channel_(channel), table_(new KLVPlaylistTableView(channel, this)),
      add_(new QToolButton(this)), smartToggle_(new QCheckBox(tr("Smart Folder"), this)),
      folder_(new QToolButton(this)), progress_(new QProgressBar(this))
{
    add_->setText(QStringLiteral("+"));
    KLVControlNames::name(add_, "QM_ADD_MEDIA");
    KLVControlNames::name(table_, "QM_PLAYLIST");
    // The panel's keyboard is the table's: focus handed to the panel reaches the cues.
    setFocusProxy(table_);
    KLVControlNames::name(progress_, "QM_IMPORTING");
    folder_->setText(tr("Folder\u2026"));
    folder_->setToolTip(tr("Choose the folder this channel mirrors"));
    progress_->setRange(0, 0); // busy
    progress_->setMaximumHeight(8);
    progress_->setTextVisible(false);
    progress_->hide();

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(add_);
    bar->addWidget(smartToggle_);
    bar->addWidget(folder_);
    bar->addStretch(1);
    bar->addWidget(progress_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_, 1);
    layout->addLayout(bar);

    KLVChannelImport& import = channel_.import();
    smartToggle_->setChecked(import.smartToggleOn());
    connect(add_, &QToolButton::clicked, this, [this] { channel_.import().addPlaylistItem(); });
    connect(folder_, &QToolButton::clicked, this, [this] { channel_.import().selectSmartFolder(); });
    connect(smartToggle_, &QCheckBox::clicked, this, [this](bool on) { channel_.import().toggleSmartPlaylist(on); });
    connect(&import, &KLVChannelImport::smartToggleChanged, this, [this](bool on) {
        if (smartToggle_->isChecked() != on)
            smartToggle_->setChecked(on);
    });
    connect(&import, &KLVChannelImport::progressChanged, progress_, &QWidget::setVisible);
}
