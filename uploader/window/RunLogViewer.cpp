#include "RunLogViewer.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QUrl>

#include "AppTitle.h"
#include "CodePage.h"

namespace RunLogViewer {

bool Show(QWidget* parent, const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path)) || ShowOwn(parent, path);
}

QPlainTextEdit* ShowOwn(QWidget* parent, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    auto* view = new QPlainTextEdit(parent);
    view->setWindowFlag(Qt::Window);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - ") + AppTitle::Title());
    view->setPlainText(
        CodePage::ToUnicode(file.readAll()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    view->resize(800, 500);
    view->show();
    view->moveCursor(QTextCursor::End);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    return view;
}

}  // namespace RunLogViewer
