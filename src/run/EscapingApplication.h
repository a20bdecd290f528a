// Where an exception that escapes an event handler ends, for the window's
// application object (a QApplication) and the headless logger's (a
// QCoreApplication) alike: notify() hands its description to the escape
// handler that the program sets, which closes the log whole, tells the error
// and ends the run with kFailureExitStatus. Without a handler the description
// goes to standard error and the process ends with that status.
#pragma once

#include <QString>
#include <exception>
#include <functional>

class QEvent;
class QObject;

namespace tarnwick {

class EscapeRoute {
  public:
    using Handler = std::function<void(const QString& what)>;

    EscapeRoute(const EscapeRoute&) = delete;
    EscapeRoute& operator=(const EscapeRoute&) = delete;

    // An empty handler stops the hand-over.
    void setEscapeHandler(Handler handler);
    // The route of the application object that exists now; nullptr when
    // there is none.
    static EscapeRoute* current();

  protected:
    EscapeRoute();
    ~EscapeRoute();

    // Delivers an event through `deliver`; what escapes it goes to the handler.
    template <typename Deliver>
    bool guard(Deliver&& deliver) {
        try {
            return deliver();
        } catch (const std::exception& e) {
            escaped(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            escaped(QStringLiteral("Unknown error"));
        }
        return true;
    }

  private:
    void escaped(const QString& what);

    Handler handler_;
};

// The application class `Base` (QCoreApplication, QApplication) with its
// events delivered through the escape route.
template <typename Base>
class EscapingApplication : public Base, public EscapeRoute {
  public:
    EscapingApplication(int& argc, char** argv) : Base(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override {
        return guard([&] { return Base::notify(receiver, event); });
    }
};

}  // namespace tarnwick
