#pragma once
// The window boundary: domain texts are single bytes, converted with Latin-1.

#include <QString>
#include <string>

namespace kelvora {

inline QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters beyond Latin-1 cannot be held by a single-byte text; they become "?".
inline std::string toLatin1(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace kelvora
