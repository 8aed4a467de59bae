#pragma once
// Modal questions and alerts. The widgets layer shows them as message boxes; tests answer them
// without blocking.

#include <QString>
#include <QStringList>

struct KLVAlert {
    enum class Style { Informational, Warning, Critical };
    QString messageText;
    QString informativeText;
    QStringList buttons; // first is the default; empty means one "OK" button
    Style style = Style::Warning;
};

class KLVPrompter {
public:
    virtual ~KLVPrompter() = default;
    // Index of the button chosen (0 is the first), -1 when the prompt was dismissed.
    virtual int runModal(const KLVAlert& alert) = 0;
};
