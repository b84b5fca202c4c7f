#pragma once

#include <QString>
#include <QStringList>

// The help text about the name conversion table: five lines joined by CR LF.
inline QString ConvTableHelpText() {
    return QStringList{
        QStringLiteral("変換テーブルについて"),
        QStringLiteral("変換テーブルは、文字化けしてしまう場合やローカルが全角でFTP先を半角で管理"),
        QStringLiteral("したい場合などに有用です。"),
        QStringLiteral(
            "変換テーブルは、変換対象ファイル名と変換後ファイル名をタブで区切って１行として"),
        QStringLiteral(
            "テキストファイルを作成してください。ファイル名の一部に対しても変換を行います。"),
    }
        .join(QStringLiteral("\r\n"));
}
