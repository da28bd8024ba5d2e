// The reference for start-up: a bare Qt program that shows one empty window.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
