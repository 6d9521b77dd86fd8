// A Qt "generic" plugin that ends any Qt GUI program once its first window has been exposed and
// the event loop is about to wait with nothing left to do: shown, painted and idle. Loaded into
// the program under test and into its peer alike through QT_QPA_GENERIC_PLUGINS=quitwhenidle and
// QT_PLUGIN_PATH, so that start-up is timed from exec to exit without touching either program.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QGenericPlugin>
#include <QTimer>
#include <QWindow>

namespace {

class QuitWhenIdle : public QObject {
public:
    QuitWhenIdle() {
        QCoreApplication::instance()->installEventFilter(this);
        watchDispatcher();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The expose event is handled (and the window painted) after this filter returns; the
        // next time the loop is about to block, that work is done.
        if (event->type() == QEvent::Expose) {
            if (const auto* window = qobject_cast<QWindow*>(watched); window && window->isExposed())
                exposed_ = true;
        }
        return false;
    }

private:
    void watchDispatcher() {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        if (!dispatcher) {
            QTimer::singleShot(0, this, [this] { watchDispatcher(); });
            return;
        }
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (exposed_ && !quitting_) {
                quitting_ = true;
                QCoreApplication::exit(0);
            }
        });
    }

    bool exposed_ = false;
    bool quitting_ = false;
};

} // namespace

class QuitWhenIdlePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "QuitWhenIdlePlugin.json")
public:
    QObject* create(const QString&, const QString&) override {
        return new QuitWhenIdle; // the application deletes the objects its generic plugins made
    }
};

#include "QuitWhenIdlePlugin.moc"
