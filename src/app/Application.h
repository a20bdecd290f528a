// The program's application object. Whatever escapes an event handler ends
// here, in notify(): it is handed to the escape handler that the start-up
// sets (which closes the log file whole, shows the error and ends the run with
// kEscapeStatus).
#pragma once

#include <QApplication>
#include <functional>

namespace tarnwick {

class Application : public QApplication {
    Q_OBJECT
  public:
    // The program's exit status after an error escaped a handler.
    static constexpr int kEscapeStatus = 1;

    Application(int& argc, char** argv);

    // Receives the description of what escaped. Without one, the description
    // goes to standard error and the process ends with kEscapeStatus.
    void setEscapeHandler(std::function<void(const QString& what)> handler);

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    void escaped(const QString& what);

    std::function<void(const QString&)> escapeHandler_;
};

}  // namespace tarnwick
