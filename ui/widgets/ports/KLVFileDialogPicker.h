#pragma once
// Open and save panels as file dialogs.

#include "app/ports/KLVFilePicker.h"

class QFileDialog;
class QWidget;

class KLVFileDialogPicker final : public KLVFilePicker {
public:
    explicit KLVFileDialogPicker(QWidget* parent = nullptr)
        : parent_(parent)
    {
    }

    QStringList runOpenPanel(const KLVOpenPanelOptions& options) override;
    QString runSavePanel(const QString& title, const QString& suggestedPath) override;

    // The dialog runOpenPanel shows, configured but not run.
    static QFileDialog* makeOpenDialog(const KLVOpenPanelOptions& options, QWidget* parent);
    // The name filter for a list of extensions ("Media (*.mov *.mp4)"); empty for any file.
    static QString nameFilterFor(const QStringList& extensions);

private:
    QWidget* parent_;
};
