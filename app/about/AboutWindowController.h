#pragma once
// The About window: the icon, the product's name, version and copyright, and two on/off buttons
// that fold out the licence agreement or the acknowledgments below the header (to 400 points) and
// fold them back in. Pressing the other button while one is out swaps the content at once.

#include <QPointer>
#include <QWidget>

class AcknowledgmentsViewController;
class QLabel;
class QPushButton;
class QVariantAnimation;

namespace EULA {
class View;
}

class AboutWindowController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFoldedOutHeight = 400;

    explicit AboutWindowController(QWidget* mainWindow = nullptr);
    ~AboutWindowController() override;

    // Centred over the main window the first time, then shown in front.
    void showWindow();

    void licenseAction();
    void acknowledgmentsAction();

    static QString versionLine(const QString& shortVersion, const QString& bundleVersion);

    QPushButton* licenseButton() const { return licenseButton_; }
    QPushButton* acknowledgmentsButton() const { return acknowledgmentsButton_; }
    QWidget* additionalContentContainer() const { return container_; }
    // Where the container's height is going (the animation's end).
    int additionalContentHeight() const { return targetHeight_; }
    // The view now in the container, or null.
    QWidget* shownContent() const { return shown_; }
    QLabel* versionLabel() const { return versionLabel_; }
    // 0 in tests: the folding then completes on the next event-loop turn.
    void setAnimationDuration(int milliseconds) { animationMs_ = milliseconds; }

protected:
    // Escape closes the window, as it does a panel.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void toggle(QWidget* content, QPushButton* pressed, QPushButton* other);
    void animateTo(int height);

    QWidget* mainWindow_;
    QLabel* versionLabel_;
    QPushButton* licenseButton_;
    QPushButton* acknowledgmentsButton_;
    QWidget* container_;
    QPointer<QWidget> shown_;
    EULA::View* licenseView_ = nullptr;
    AcknowledgmentsViewController* acknowledgmentsView_ = nullptr;
    QVariantAnimation* animation_ = nullptr;
    int targetHeight_ = 0;
    int animationMs_ = 250;
    bool placed_ = false;
};
