#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>

class DialogHost;
class QAction;
class QLineEdit;
class QMenu;
class QPushButton;

// The target selector: a read-only path field with a "..." button at its right that lets the
// user choose one folder, one file to open or one file to save. The path changes by the button
// (or a double click, or Enter, in the field), which opens the dialog of the style, by dropping a
// file onto the field, or by the host. A context menu offers copy and select-all. Its dispatch
// interface is the type library Pelomir_TypeLib.h.
class Pelomir : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("dispid:68030008", "Style")
    Q_CLASSINFO("dispid:60030016", "ShowDialog")
    Q_CLASSINFO("dispid:68030007", "Target")
    Q_CLASSINFO("dispid:68030006", "InitDir")
    Q_CLASSINFO("dispid:68030005", "Filter")
    Q_CLASSINFO("dispid:60030017", "IsAllowOverWrite")
    Q_CLASSINFO("dispid:60030018", "IsAllowCreateNewFile")
    Q_CLASSINFO("dispid:60030019", "IsAllowAppTerminate")
    Q_CLASSINFO("dispid:68030004", "DefaultFileName")
    Q_CLASSINFO("dispid:68030003", "Title")
    Q_CLASSINFO("dispid:68030002", "ENABLED")
    Q_CLASSINFO("dispid:68030001", "Root")
    Q_CLASSINFO("dispid:68030000", "hWnd")
    Q_CLASSINFO("description:68030002",
                "ﾕｰｻﾞｰの操作で発生したｲﾍﾞﾝﾄを、ｵﾌﾞｼﾞｪｸﾄに認識させるかどうかを設定します。"
                "値の取得も可能です。")
    Q_CLASSINFO("description:68030001",
                "DESKTOPにNETICONがでているときは、DESKTOPで、いいけど、そうでないときで、"
                "NETWORKを表示するときは、NETWORKを選択すること！")
    Q_CLASSINFO("description:68030000",
                "ｵﾌﾞｼﾞｪｸﾄのｳｨﾝﾄﾞｳを識別するﾊﾝﾄﾞﾙを (Microsoft Windows から) 返します。")
    Q_CLASSINFO("event:1", "OnBeforeShowDialog")
    Q_CLASSINFO("event:2", "OnPelomir")

    Q_PROPERTY(int Style READ Style WRITE setStyle)
    Q_PROPERTY(QVariant Target READ Target)
    Q_PROPERTY(QString InitDir READ InitDir WRITE setInitDir)
    Q_PROPERTY(QString Filter READ Filter WRITE setFilter)
    Q_PROPERTY(QString DefaultFileName READ DefaultFileName WRITE setDefaultFileName)
    Q_PROPERTY(QString Title READ Title WRITE setTitle)
    Q_PROPERTY(bool ENABLED READ ENABLED WRITE setENABLED)
    Q_PROPERTY(int Root READ Root WRITE setRoot)
    Q_PROPERTY(qint32 hWnd READ hWnd)

public:
    explicit Pelomir(QWidget* form);

    // Where the control's dialogs and questions go; Qt's dialogs unless told otherwise. host
    // must outlive the control.
    void SetDialogHost(DialogHost& host) { m_dialogs = &host; }

    // enmStStyle.
    int Style() const { return m_style; }
    void setStyle(int style);
    // The path, as a string.
    QVariant Target() const;
    QString InitDir() const;
    // Shows value, cut back to a folder for the folder style; the window's way to load a path.
    void setInitDir(const QString& value);
    QString Filter() const { return m_filter; }
    void setFilter(const QString& filter);
    QString DefaultFileName() const { return m_defaultFileName; }
    void setDefaultFileName(const QString& name) { m_defaultFileName = name; }
    QString Title() const { return m_title; }
    void setTitle(const QString& title);
    // The control's own state, whatever the form's.
    bool ENABLED() const { return !testAttribute(Qt::WA_ForceDisabled); }
    void setENABLED(bool enabled);
    // enmSTROOT.
    int Root() const { return m_root; }
    void setRoot(int root);
    qint32 hWnd() const;

    // Runs the dialog of the style; true when it set a new path (and raised OnPelomir).
    Q_INVOKABLE bool ShowDialog();
    // The questions of the dialog wrapper, titled with the host application's title.
    Q_INVOKABLE bool IsAllowOverWrite();
    Q_INVOKABLE bool IsAllowCreateNewFile();
    Q_INVOKABLE bool IsAllowAppTerminate();

    // The persisted properties, by their stored names; a value equal to its default is not
    // written.
    Q_INVOKABLE void ReadProperties(const QVariantMap& bag);
    Q_INVOKABLE QVariantMap WriteProperties() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Before the dialog that the button, a double click or Enter opens; a handler that sets
    // Cancel stops it.
    void OnBeforeShowDialog(bool& Cancel);
    // A dialog or a drop set a new path; Target is the path as shown.
    void OnPelomir(QString& Target);
    // A persisted property was assigned, by its stored name.
    void PropertyChanged(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    QAction* AddMenuItem(const char* name, const QString& caption);
    int Pixels(int twips) const;
    void UserControl_Resize();
    void ActionShowDialog();
    QString FileDialog(const QString& start);
    static QString DesktopOrHome();
    void RaisePelomir();
    void AdjustText();
    void PopupMenu(const QPoint& globalPos);
    void mnuCopy_Click();
    bool DragOver(QEvent* event);
    bool Drop(QEvent* event);

    QLineEdit* txtFolder;
    QPushButton* btnFolder;
    QMenu* mnuPopup;
    QAction* mnuCopy = nullptr;
    QAction* mnuSelectAll = nullptr;

    DialogHost* m_dialogs;
    int m_style;
    QString m_filter;
    QString m_title;
    int m_root;
    QString m_defaultFileName;
    // The title of the host application, for the question boxes; found at each resize.
    QString m_hostTitle;
};
