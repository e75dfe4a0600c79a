#include "kelvora_application.h"

#include <exception>

#include "message_boxes.h"

namespace kelvora {

bool KelvoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (boxes_) boxes_->unhandledFailureBox(e.what());
    } catch (...) {
        if (boxes_) boxes_->unhandledFailureBox("Unknown failure");
    }
    return false;
}

}  // namespace kelvora
