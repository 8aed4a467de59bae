// Kalvanto: the playback server's desktop application.
#include "app/main/SignalQuitter.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication::setOrganizationName(QStringLiteral("Quenmark"));
    QApplication::setApplicationName(QStringLiteral("Kalvanto"));
    QApplication app(argc, argv);

    // SIGTERM and SIGINT end the event loop so that everything is torn down in order.
    SignalQuitter quitter;

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Kalvanto"));
    window.setCentralWidget(new QLabel(QStringLiteral("Kalvanto"), &window));
    window.resize(1280, 720);
    window.show();

    return app.exec();
}
