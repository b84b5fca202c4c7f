#include "RunLogViewer.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QUrl>

#include "AppTitle.h"
#include "CodePage.h"

namespace RunLogViewer {

bool Show(QWidget* parent, const QString& path) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
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
    return true;
}

}  // namespace RunLogViewer
