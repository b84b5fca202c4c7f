#include "Fun_FolderSelect.h"

#include <QWidget>

#include "API_SpecialFolders.h"
#include "DialogHost.h"
#include "Pelomir_TypeLib.h"

namespace Fun_FolderSelect {

namespace {

QString RootFolder(qint32 root) {
    if (root == Pelomir_TypeLib::ST_DESKTOP || root == Pelomir_TypeLib::ST_DRIVES)
        return QString();
    return API_SpecialFolders::GetSpecialFolderPath(root);
}

}  // namespace

QString BrowseFolder(const BrowseRequest& request, DialogHost& host) {
    QString initial = request.initialPath;
    initial.remove(QChar(u'\0'));
    if (initial.size() > 1 && initial.endsWith(u'/'))
        initial.chop(1);
    DialogHost::FolderRequest folder;
    folder.owner = request.owner ? QWidget::find(WId(quint32(request.owner))) : nullptr;
    folder.root = RootFolder(request.root);
    folder.title = request.title;
    folder.initial = initial;
    return host.ChooseFolder(folder);
}

}  // namespace Fun_FolderSelect
