#pragma once
// Open and choose-folder panels. The widgets layer shows file dialogs; tests return prepared
// answers.

#include <QString>
#include <QStringList>

struct KLVOpenPanelOptions {
    QString title;
    QString directory;           // where the panel opens; empty: the panel's own choice
    QStringList fileExtensions;  // allowed extensions without the dot; empty: any file
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
};

class KLVFilePicker {
public:
    virtual ~KLVFilePicker() = default;
    // The chosen paths; empty when cancelled.
    virtual QStringList runOpenPanel(const KLVOpenPanelOptions& options) = 0;
    // A document path to save to; empty when cancelled.
    virtual QString runSavePanel(const QString& title, const QString& suggestedPath) = 0;
};
