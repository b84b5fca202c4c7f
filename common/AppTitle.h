#pragma once

#include <QString>

// The application title shown in every message box and used to name files beside the program.
namespace AppTitle {
inline QString Title() {
    return QStringLiteral("SkerrowEx");
}
}  // namespace AppTitle
