// A titled, empty window of the size the program's main window takes, and nothing else: what any
// Qt program on this display pays before its first window is mapped.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Window peer"));
    window.resize(1280, 900);
    window.show();
    return app.exec();
}
