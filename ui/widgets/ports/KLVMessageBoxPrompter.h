#pragma once
// Alerts as modal message boxes.

#include "ui/logic/ports/KLVPrompter.h"

class QMessageBox;
class QWidget;

class KLVMessageBoxPrompter final : public KLVPrompter {
public:
    explicit KLVMessageBoxPrompter(QWidget* parent = nullptr)
        : parent_(parent)
    {
    }

    int runModal(const KLVAlert& alert) override;

    // The box runModal shows, built but not run (its buttons in the alert's order).
    static QMessageBox* makeBox(const KLVAlert& alert, QWidget* parent);

private:
    QWidget* parent_;
};
