#pragma once
// The application object: the last net for a failure that escapes an event
// handler; it reaches the unhandled-failure box and the program goes on.

#include <QApplication>

namespace kelvora {

class IMessageBoxes;

class KelvoraApplication : public QApplication {
public:
    KelvoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    void setMessageBoxes(IMessageBoxes* boxes) { boxes_ = boxes; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    IMessageBoxes* boxes_ = nullptr;
};

}  // namespace kelvora
