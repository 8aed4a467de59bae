#pragma once
// The control view of a 9-pin device this system drives: the deck's time code, kept current by
// the parser's poll, and the Play, Stop, Pause, Rewind and Fast Forward buttons, each sending its
// command through the parser's transportAction. The view holds no state of its own; it follows
// the parser only while both exist.
#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QMProtocolParserSonyBVW;

class QMSonyBVWControlView : public QWidget {
    Q_OBJECT
public:
    explicit QMSonyBVWControlView(std::shared_ptr<QMProtocolParserSonyBVW> parser, QWidget* parent = nullptr);
    ~QMSonyBVWControlView() override;

    QLabel* timerField() const { return timerField_; }
    QPushButton* playButton() const { return play_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* rewindButton() const { return rewind_; }
    QPushButton* fastForwardButton() const { return fastForward_; }

private:
    QPushButton* transportButton(const QString& title);
    void showTimecode(const QString& text);

    std::weak_ptr<QMProtocolParserSonyBVW> parser_;
    QLabel* timerField_;
    QPushButton* play_;
    QPushButton* stop_;
    QPushButton* pause_;
    QPushButton* rewind_;
    QPushButton* fastForward_;
};
