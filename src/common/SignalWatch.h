// Signals handled by the event loop. The signal handler only writes the
// signal's number to a pipe; a socket notifier on the pipe's other end reports
// it from the event loop. So a signal is acted on inside one of the cycle's
// waits, never in the middle of a record, and the handler itself does nothing
// that is not safe in a signal handler.
#pragma once

#include <QObject>
#include <initializer_list>

class QSocketNotifier;

namespace tarnwick {

class SignalWatch : public QObject {
    Q_OBJECT
  public:
    // Catches the `caught` signals while the watch exists (one watch per process); their
    // handling goes back to the default when it is destroyed.
    explicit SignalWatch(std::initializer_list<int> caught, QObject* parent = nullptr);
    ~SignalWatch() override;
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

  signals:
    void received(int signal);

  private:
    void readPipe();

    QList<int> caught_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tarnwick
