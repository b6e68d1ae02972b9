// A drag source for trying drops without a file manager: a small window that, when pressed with
// the mouse, drags the files named on its command line, as a file manager would.
// Usage: kestrel-drag-files FILE...
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace {

class DragSource : public QLabel {
 public:
  explicit DragSource(QList<QUrl> urls) : QLabel(QString("Drag %1 file(s) from here").arg(urls.size())), urls_(std::move(urls)) {
    setObjectName("DragSource");
    setAlignment(Qt::AlignCenter);
    setFixedSize(220, 60);
  }

 protected:
  void mousePressEvent(QMouseEvent*) override {
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setUrls(urls_);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
  }

 private:
  QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QList<QUrl> urls;
  for (int i = 1; i < argc; ++i) urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
  DragSource source(urls);
  source.setWindowTitle("kestrel-drag-files");
  source.move(0, 0);
  source.show();
  return app.exec();
}
