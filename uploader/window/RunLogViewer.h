#pragma once

#include <QString>

class QPlainTextEdit;
class QWidget;

namespace RunLogViewer {
// Opens the run log with the desktop's viewer for its type; where there is none, shows it in a
// read-only window of our own. False when neither could show it.
bool Show(QWidget* parent, const QString& path);

// The window of our own, shown scrolled to the end, where the run's closing line is; nullptr when
// the log cannot be read.
QPlainTextEdit* ShowOwn(QWidget* parent, const QString& path);
}  // namespace RunLogViewer
