#pragma once
// The preferences window's "general" tab: the user's two reporting switches, error reports and
// usage analytics, each bound to its user default (off unless the user turns it on) with a line
// saying what it sends. The diagnostics module follows the defaults, so a switch acts at once.

#include <QWidget>

class QCheckBox;

class KLVGeneralPreferencesPane : public QWidget {
    Q_OBJECT
public:
    explicit KLVGeneralPreferencesPane(QWidget* parent = nullptr);

    QCheckBox* errorReportingButton() const { return errorReporting_; }
    QCheckBox* analyticsReportingButton() const { return analyticsReporting_; }

private:
    void refresh();

    QCheckBox* errorReporting_;
    QCheckBox* analyticsReporting_;
};
