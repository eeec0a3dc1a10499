// The Qt front end of application mode, built as a module that the executable
// loads at run time. It owns the GUI event loop (the application's main thread)
// and the tray icon; everything else lives in the core behind ApplicationShell.

#include <signal.h>

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <thread>

#include "app/ui_module.h"

namespace corvanta {
namespace {

class QtMainLoop : public MainLoop {
 public:
  void post(std::function<void()> work) override {
    QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
  }
  void postDelayed(std::chrono::milliseconds delay, std::function<void()> work) override {
    // Timers belong to the GUI thread; hop there first.
    post([delay, work = std::move(work)]() mutable {
      QTimer::singleShot(static_cast<int>(delay.count()), qApp, std::move(work));
    });
  }
  void quit() override {
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  }
};

// The status item's glyph: a rounded bookmark with a notch, drawn as one path.
QIcon statusIcon() {
  const qreal scale = 4;
  QPixmap pixmap(static_cast<int>(18 * scale), static_cast<int>(18.5 * scale));
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  // Drawn bottom-up (the original coordinate space is not flipped).
  painter.translate(0, 18.5 * scale);
  painter.scale(scale, -scale);
  QPainterPath path;
  path.moveTo(3, 4);
  path.cubicTo(3, 2.5, 3, 2.5, 4.5, 2.5);
  path.lineTo(9, 6.75);
  path.lineTo(13.5, 2.5);
  path.cubicTo(15, 2.5, 15, 2.5, 15, 4);
  path.lineTo(15, 13.5);
  path.cubicTo(15, 16, 15, 16, 12.5, 16);
  path.lineTo(5.5, 16);
  path.cubicTo(3, 16, 3, 16, 3, 13.5);
  path.closeSubpath();
  painter.fillPath(path, Qt::black);
  painter.end();
  QIcon icon(pixmap);
  icon.setIsMask(true);
  return icon;
}

void quitOnTerminationSignals() {
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
  std::thread([blocked] {
    int received = 0;
    while (sigwait(&blocked, &received) != 0) {
    }
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  }).detach();
}

}  // namespace
}  // namespace corvanta

extern "C" __attribute__((visibility("default"))) int corvanta_ui_main(
    int argc, char** argv, corvanta::ApplicationShell* shell) {
  using namespace corvanta;
  quitOnTerminationSignals();
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName("Corvanta Vault");

  QtMainLoop loop;
  QSystemTrayIcon tray(statusIcon());
  QMenu menu;
  QObject::connect(menu.addAction("Quit Corvanta Vault"), &QAction::triggered, &application,
                   &QCoreApplication::quit);
  tray.setContextMenu(&menu);
  tray.setToolTip("Corvanta Vault");
  if (QSystemTrayIcon::isSystemTrayAvailable()) tray.show();

  loop.post([&] { shell->applicationDidFinishLaunching(loop); });
  int status = application.exec();
  shell->applicationWillTerminate();
  return status;
}
