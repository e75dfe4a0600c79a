#pragma once
// The window's message boxes behind one small interface, so tests can read
// and answer them. Every box is modal and waits until the operator closes it.

#include <string>

namespace kelvora {

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // Caption the program title, no icon.
    virtual void plainBox(const std::string& text) = 0;
    // Caption "Error", the error icon.
    virtual void errorBox(const std::string& text) = 0;
    // Caption the program title, the error icon; `message` is shown as
    // unhandledFailureText() makes it.
    virtual void unhandledFailureBox(const std::string& message) = 0;
};

// The failure's message with "." appended when its last character sorts after ".".
std::string unhandledFailureText(const std::string& message);

// The executable's file name without folder and without everything from its
// first "." on, each character after the first in lower case.
std::string programTitleFor(const std::string& executablePath);

class QtMessageBoxes final : public IMessageBoxes {
public:
    explicit QtMessageBoxes(std::string title) : title_(std::move(title)) {}
    void plainBox(const std::string& text) override;
    void errorBox(const std::string& text) override;
    void unhandledFailureBox(const std::string& message) override;

private:
    std::string title_;
};

}  // namespace kelvora
