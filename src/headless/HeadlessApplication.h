// The headless logger's application object: Qt Core only. Whatever escapes an
// event handler ends in notify(), which hands its description to the escape
// handler (the logger then ends its run, closing the log whole).
#pragma once

#include <QCoreApplication>
#include <functional>

namespace tarnwick {

class HeadlessApplication : public QCoreApplication {
  public:
    HeadlessApplication(int& argc, char** argv);

    void setEscapeHandler(std::function<void(const QString& what)> handler);

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    std::function<void(const QString&)> escapeHandler_;
};

}  // namespace tarnwick
