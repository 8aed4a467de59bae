#pragma once
// Prompts and pickers that answer at once: each alert is recorded and answered with the next
// prepared answer (the first button when none is left); pickers return prepared paths.

#include "app/ports/KLVFilePicker.h"
#include "app/ports/KLVPrompter.h"

#include <deque>
#include <functional>
#include <vector>

namespace testsupport {

class FakePrompter final : public KLVPrompter {
public:
    std::vector<KLVAlert> shown;
    std::deque<int> answers;
    // Runs while an alert is up, as the modal loop would serve timers and replies meanwhile.
    std::function<void(const KLVAlert&)> whileShown;
    int runModal(const KLVAlert& alert) override
    {
        shown.push_back(alert);
        if (whileShown)
            whileShown(alert);
        if (answers.empty())
            return 0;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
};

class FakeFilePicker final : public KLVFilePicker {
public:
    std::vector<KLVOpenPanelOptions> opened;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    QStringList runOpenPanel(const KLVOpenPanelOptions& options) override
    {
        opened.push_back(options);
        if (openAnswers.empty())
            return {};
        QStringList a = openAnswers.front();
        openAnswers.pop_front();
        return a;
    }
    QString runSavePanel(const QString&, const QString&) override
    {
        if (saveAnswers.empty())
            return {};
        QString a = saveAnswers.front();
        saveAnswers.pop_front();
        return a;
    }
};

} // namespace testsupport
