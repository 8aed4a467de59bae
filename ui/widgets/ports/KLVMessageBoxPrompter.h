#pragma once
// Alerts as modal message boxes. A notice (one button) raised again while the same notice is
// still up, from work the modal loop runs meanwhile, is not stacked on it: it answers 0 at once.

#include "app/ports/KLVPrompter.h"

#include <vector>

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
    std::vector<const KLVAlert*> up_; // alerts being shown, outermost first
};
