#pragma once
// Alerts as modal message boxes. A notice (one button) raised again while the same notice is
// still up, from work the modal loop runs meanwhile, is not stacked on it: it answers 0 at once.
//
// While notices are held (start-up), a notice is kept and answered 0 at once instead of running
// a modal loop: nothing that puts the channels on air waits for someone to click OK. Releasing
// shows what was kept, each box once, without waiting for the user either. Questions (two or
// more buttons) are always asked.

#include "app/ports/KLVPrompter.h"

#include <list>
#include <vector>

class QMessageBox;
class QWidget;

class KLVMessageBoxPrompter final : public KLVPrompter {
public:
    explicit KLVMessageBoxPrompter(QWidget* parent = nullptr)
        : parent_(parent)
    {
    }
    ~KLVMessageBoxPrompter() override;
    KLVMessageBoxPrompter(const KLVMessageBoxPrompter&) = delete;
    KLVMessageBoxPrompter& operator=(const KLVMessageBoxPrompter&) = delete;

    int runModal(const KLVAlert& alert) override;

    void holdNotices() { holding_ = true; }
    void releaseNotices();

    // The box runModal shows, built but not run (its buttons in the alert's order).
    static QMessageBox* makeBox(const KLVAlert& alert, QWidget* parent);

private:
    bool isUp(const KLVAlert& alert) const;
    void show(KLVAlert alert);

    QWidget* parent_;
    bool holding_ = false;
    std::vector<const KLVAlert*> up_; // alerts being shown modally, outermost first
    std::list<KLVAlert> held_;        // kept while holding, in the order raised
    struct Shown {
        KLVAlert alert;
        QMessageBox* box = nullptr;
    };
    std::list<Shown> shown_; // released notices still on the screen
};
