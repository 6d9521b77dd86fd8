// The start-up and memory peer: the least a Qt Widgets program does to show one empty window.
// With --text, the window shows one line of text instead, in the program's own font: what any
// window with text costs (fontconfig and the font files), for reference.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    if (argc > 2 && QByteArray(argv[1]) == "--text") {
        auto* layout = new QVBoxLayout(&window); // owned by the window
        layout->addWidget(new QLabel(QString::fromUtf8(argv[2])));
    }
    window.show();
    return app.exec();
}
