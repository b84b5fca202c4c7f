#pragma once

#include <array>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "DialogHost.h"

// The common dialogs (open, save, colour, font, print, help) through one object with
// properties, and three yes/no questions about files. Set the properties, call a Show member,
// read the outcome from the properties. Every dialog and question goes to the DialogHost given
// at construction.
//
// Flags are the bits of the common dialogs; those Qt has an option for become that option (for
// the file dialogs: 0x2 overwrite prompt, 0x200 multiple selection, 0x800 path must exist,
// 0x1000 file must exist), the others are kept as they are. Colours are 0x00BBGGRR.
//
// Failures: a cancelled colour dialog throws ComDlgError 0x8004037E "Cancel Pressed" when
// CancelError is set; nothing else throws.
class clsComDlg {
public:
    enum DialogAction : qint16 { Open = 1, Save = 2, Colour = 3, Font = 4, Printer = 5, Help = 6 };
    static constexpr qint32 kCancelPressed = qint32(0x8004037E);
    // The extended error of a file dialog whose chosen names do not fit MaxFileSize bytes.
    static constexpr qint32 kBufferTooSmall = 0x3003;

    // host must outlive the object.
    explicit clsComDlg(DialogHost& host);
    clsComDlg(const clsComDlg&) = delete;
    clsComDlg& operator=(const clsComDlg&) = delete;

    // The last dialog shown (DialogAction), 0 before any.
    qint16 Action() const { return m_action; }
    bool CancelError() const { return m_cancelError; }
    void CancelError(bool bValue) { m_cancelError = bValue; }
    qint32 Color() const { return m_color; }
    void Color(qint32 lValue) { m_color = lValue; }

    // Print dialog values, handed to the dialog as 16-bit numbers.
    qint32 Copies() const { return m_copies; }
    void Copies(qint32 nValue) { m_copies = nValue; }
    qint32 FromPage() const { return m_fromPage; }
    void FromPage(qint32 nValue) { m_fromPage = nValue; }
    qint32 ToPage() const { return m_toPage; }
    void ToPage(qint32 nValue) { m_toPage = nValue; }
    qint32 Min() const { return m_min; }
    void Min(qint32 nValue) { m_min = nValue; }
    qint32 Max() const { return m_max; }
    void Max(qint32 nValue) { m_max = nValue; }
    bool PrinterDefault() const { return m_printerDefault; }
    void PrinterDefault(bool bValue) { m_printerDefault = bValue; }
    // Qt's print dialog hands out no device context: always 0.
    qint32 hdc() const { return 0; }

    QString DefaultExt() const { return m_defaultExt; }
    void DefaultExt(const QString& strValue) { m_defaultExt = strValue; }
    QString DialogTitle() const { return m_dialogTitle; }
    void DialogTitle(const QString& strValue) { m_dialogTitle = strValue; }
    QString FileName() const { return m_fileName; }
    void FileName(const QString& strValue) { m_fileName = strValue; }
    // The file dialogs give no separate title: always empty.
    QString FileTitle() const { return QString(); }
    // The names of a multiple selection, in the reverse of the dialog's order.
    QStringList FileNames() const { return m_fileNames; }
    // Always empty.
    QStringList FileTitles() const { return QStringList(); }
    QString Filter() const { return m_filter; }
    void Filter(const QString& strValue) { m_filter = strValue; }
    // 1 for the first filter.
    qint32 FilterIndex() const { return m_filterIndex; }
    void FilterIndex(qint32 lValue) { m_filterIndex = lValue; }
    qint32 flags() const { return m_flags; }
    void flags(qint32 lValue) { m_flags = lValue; }

    bool FontBold() const { return m_fontBold; }
    void FontBold(bool bValue) { m_fontBold = bValue; }
    bool FontItalic() const { return m_fontItalic; }
    void FontItalic(bool bValue) { m_fontItalic = bValue; }
    bool FontStrikethru() const { return m_fontStrikethru; }
    void FontStrikethru(bool bValue) { m_fontStrikethru = bValue; }
    bool FontUnderline() const { return m_fontUnderline; }
    void FontUnderline(bool bValue) { m_fontUnderline = bValue; }
    QString FontName() const { return m_fontName; }
    void FontName(const QString& strValue) { m_fontName = strValue; }
    // Points.
    qint32 FontSize() const { return m_fontSize; }
    void FontSize(qint32 lValue) { m_fontSize = lValue; }

    // 2 (quit) closes nothing here: the help file is the desktop viewer's.
    qint32 HelpCommand() const { return m_helpCommand; }
    void HelpCommand(qint32 lValue) { m_helpCommand = lValue; }
    qint32 HelpContext() const { return m_helpContext; }
    void HelpContext(qint32 lValue) { m_helpContext = lValue; }
    QString HelpFile() const { return m_helpFile; }
    void HelpFile(const QString& strValue) { m_helpFile = strValue; }
    QString HelpKey() const { return m_helpKey; }
    void HelpKey(const QString& strValue) { m_helpKey = strValue; }

    // Where the file dialogs open; after a multiple selection, the chosen folder with its "/".
    QString InitDir() const { return m_initDir; }
    void InitDir(const QString& strValue) { m_initDir = strValue; }
    // The bytes (in the code page) the chosen names may take; below 1 means 1024.
    qint32 MaxFileSize() const { return m_maxFileSize; }
    void MaxFileSize(qint32 lValue) { m_maxFileSize = lValue; }
    // The window the dialogs belong to, by its handle (a control's hWnd).
    qint32 hWndOwner() const { return m_hWndOwner; }
    void hWndOwner(qint32 lValue) { m_hWndOwner = lValue; }
    // 1 when the last dialog was accepted, 0 when it was not.
    qint32 APIReturn() const { return m_apiReturn; }
    qint32 ExtendedError() const { return m_extendedError; }
    // Whether a saved name without an extension takes the first filter's.
    void AddFileEx(bool bValue) { m_addFileEx = bValue; }

    void ShowOpen();
    void ShowSave();
    void ShowColor();
    void ShowFont();
    void ShowPrinter();
    void ShowHelp();

    // Questions with Yes and No, titled strAppTitle, which is filled in with this library's
    // title when it is empty.
    // True without asking when the path does not exist or is a folder.
    bool IsAllowOverWrite(const QString& strPath, QString& strAppTitle);
    bool IsAllowCreateNewFile(QString& strAppTitle);
    bool IsAllowAppTerminate(QString& strAppTitle);

private:
    void ShowFile(DialogAction action);
    void TakeFiles(const QStringList& files);
    QString WithDefaultExtension(const QString& name) const;
    QWidget* Owner() const;
    static void FillTitle(QString& strAppTitle);
    bool Ask(const QString& text, QString& strAppTitle);

    DialogHost& m_host;
    qint16 m_action = 0;
    bool m_cancelError = false;
    qint32 m_color = 0;
    qint32 m_copies = 0;
    qint32 m_fromPage = 0;
    qint32 m_toPage = 0;
    qint32 m_min = 0;
    qint32 m_max = 0;
    bool m_printerDefault = false;
    QString m_defaultExt;
    QString m_dialogTitle;
    QString m_fileName;
    QStringList m_fileNames;
    QString m_filter;
    qint32 m_filterIndex = 0;
    qint32 m_flags = 0;
    bool m_fontBold = false;
    bool m_fontItalic = false;
    bool m_fontStrikethru = false;
    bool m_fontUnderline = false;
    QString m_fontName;
    qint32 m_fontSize = 0;
    qint32 m_helpCommand = 0;
    qint32 m_helpContext = 0;
    QString m_helpFile;
    QString m_helpKey;
    QString m_initDir;
    qint32 m_maxFileSize = 0;
    qint32 m_hWndOwner = 0;
    qint32 m_apiReturn = 0;
    qint32 m_extendedError = 0;
    bool m_addFileEx = true;
    // The dialog's custom colours, 0x00BBGGRR, white until a chosen colour takes one.
    std::array<qint32, DialogHost::kCustomColors> m_customColors;
};
