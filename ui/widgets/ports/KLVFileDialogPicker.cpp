#include "ui/widgets/ports/KLVFileDialogPicker.h"

#include <QFileDialog>

#include <memory>

QString KLVFileDialogPicker::nameFilterFor(const QStringList& extensions)
{
    if (extensions.isEmpty())
        return {};
    QStringList patterns;
    for (const QString& ext : extensions) {
        QString e = ext.trimmed();
        if (e.startsWith(QLatin1Char('.')))
            e.remove(0, 1);
        if (!e.isEmpty())
            patterns << QStringLiteral("*.") + e;
    }
    if (patterns.isEmpty())
        return {};
    return QStringLiteral("Files (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QFileDialog* KLVFileDialogPicker::makeOpenDialog(const KLVOpenPanelOptions& options, QWidget* parent)
{
    auto* dialog = new QFileDialog(parent, options.title, options.directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (options.canChooseDirectories && !options.canChooseFiles) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog->setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    const QString filter = nameFilterFor(options.fileExtensions);
    if (!filter.isEmpty())
        dialog->setNameFilter(filter);
    return dialog;
}

QStringList KLVFileDialogPicker::runOpenPanel(const KLVOpenPanelOptions& options)
{
    std::unique_ptr<QFileDialog> dialog(makeOpenDialog(options, parent_));
    if (dialog->exec() != QDialog::Accepted)
        return {};
    QStringList chosen = dialog->selectedFiles();
    if (!options.allowsMultipleSelection && chosen.size() > 1)
        chosen = chosen.mid(0, 1);
    return chosen;
}

QString KLVFileDialogPicker::runSavePanel(const QString& title, const QString& suggestedPath)
{
    QFileDialog dialog(parent_, title, suggestedPath);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!suggestedPath.isEmpty())
        dialog.selectFile(suggestedPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
