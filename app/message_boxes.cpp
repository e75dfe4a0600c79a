#include "message_boxes.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "latin1.h"

namespace kelvora {

std::string unhandledFailureText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

std::string programTitleFor(const std::string& executablePath) {
    std::string name = executablePath.substr(executablePath.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    for (std::size_t i = 1; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 'A' && c <= 'Z') name[i] = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

namespace {

void showBox(const std::string& caption, const std::string& text, QMessageBox::Icon icon) {
    // A lone CR is a line break in these texts; Qt's label wants LF.
    QString shown = fromLatin1(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon, fromLatin1(caption), shown, QMessageBox::NoButton);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = box.frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        box.move(r.topLeft());
    }
    box.exec();
}

}  // namespace

void QtMessageBoxes::plainBox(const std::string& text) { showBox(title_, text, QMessageBox::NoIcon); }

void QtMessageBoxes::errorBox(const std::string& text) { showBox("Error", text, QMessageBox::Critical); }

void QtMessageBoxes::unhandledFailureBox(const std::string& message) {
    showBox(title_, unhandledFailureText(message), QMessageBox::Critical);
}

}  // namespace kelvora
