// A small drag source for the end-to-end tests, standing in for a file
// manager: a window that drags the files named on its command line as a URI
// list (or, with --text, only a piece of text) once the pointer leaves it
// pressed. It prints the effect the drop target answered.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>

#include <cstdio>

class TDragSource : public QLabel {
public:
    TDragSource(QByteArray uris, bool text)
        : QLabel(text ? "text" : "files"), Uris(std::move(uris)), Text(text) {}

protected:
    void mousePressEvent(QMouseEvent* event) override { Press = event->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - Press).manhattanLength() <
                QApplication::startDragDistance())
            return;
        auto* data = new QMimeData;
        if (Text)
            data->setText(QStringLiteral("just text"));
        else
            data->setData(QStringLiteral("text/uri-list"), Uris);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        std::printf("effect %d\n", int(done));
        std::fflush(stdout);
    }

private:
    QByteArray Uris;
    bool Text;
    QPoint Press;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QByteArray uris;
    bool text = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--text")
            text = true;
        else
            uris += "file://" + arg.toPercentEncoding("/") + "\r\n";
    }
    TDragSource window(uris, text);
    window.setWindowTitle(QStringLiteral("velmo-dragsource"));
    window.setGeometry(900, 100, 200, 120);
    window.show();
    return app.exec();
}
