#pragma once

#include <ostream>

#include <QString>

// Lets GoogleTest show QString values as text in failure messages, compared or streamed.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

inline std::ostream& operator<<(std::ostream& os, const QString& text) {
    return os << text.toStdString();
}
