#pragma once

#include <array>
#include <memory>

#include <QColor>
#include <QList>
#include <QMainWindow>
#include <QString>

#include "HostedTargetSelector.h"
#include "MessageHost.h"
#include "ProfileFile.h"
#include "RunDriver.h"
#include "TransferProgress.h"
#include "Typ_Profile.h"
#include "WindowRunHost.h"

class ComponentControl;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// The main window: the profile list with its edit fields, the status panels, the run timer and
// the menus. The run driver works on it through the public members below.
class frmSkerrow : public QMainWindow {
    Q_OBJECT

public:
    // Columns of lvList.
    enum { ColLocalBaseDir = 0, ColInterval = 1, ColFtpDir = 2, ColAccount = 3 };

    explicit frmSkerrow(MessageHost& host, QWidget* parent = nullptr);
    ~frmSkerrow() override;

    // The engine behind the run commands, and the window's side of its runs.
    RunDriver& Driver() { return *m_driver; }
    WindowRunHost& RunSide() { return *m_runHost; }

    // The profile of a list item, as the run uses it.
    Typ_Profile GetProfileFromItem(const QTreeWidgetItem* item) const;
    // Stores the conversion table path in the settings file; false when that failed.
    bool SaveSetting();
    // The item-click behaviour: asks about unsaved edits, then shows the item in the fields.
    void LoadItemIntoFields(QTreeWidgetItem* item);
    // New (0), register or update (1), delete (2).
    void btnAction_Click(int index);
    // The connection options of the server in the fields, in their own dialog.
    void mnuServerSetting_Click();

    // List items in list order; an index out of range reads as nothing and changes nothing.
    int ItemCount() const;
    QTreeWidgetItem* Item(int index) const;
    bool ItemChecked(int index) const;
    void SetItemChecked(int index, bool checked);
    // An invalid colour stands for the list's own text colour.
    QColor ItemTextColor(int index) const;
    void SetItemTextColor(int index, const QColor& color);
    static QString ItemKey(const QTreeWidgetItem* item);
    QTreeWidgetItem* FindItem(const QString& key) const;

    // Status panels, numbered 1 to 5 (other numbers read as "" and change nothing).
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);
    void CountUpFiles();
    void CountUpCopies();
    void CountUpError();
    // The file or files being sent, beside the panels: shown during a run, empty between files.
    void ShowTransfer(const TransferStatus& status);

    // The controls a run locks: the list, both selectors, the four edit boxes and the buttons.
    void SetEditingEnabled(bool enabled);
    // Running: mnuQuitRunning shown and mnuRun and mnuPreview hidden; idle: the reverse.
    void SetRunning(bool running);
    bool IsRunning() const;
    bool InvestigateMode() const;

    // A session end (mode 2) or termination (mode 3): the program ends at once, saving nothing.
    void SystemUnload(qint16 mode);

    // Controls, by the names the program gives them.
    QTreeWidget* lvList;
    // The two target selectors, late-bound; each tells why when its library could not be loaded.
    HostedTargetSelector* stLocalDir;
    HostedTargetSelector* stConvTable;
    // The form-behaviour control, late-bound; null when its library could not be loaded.
    ComponentControl* ffMain = nullptr;
    QLineEdit* txtFtpDir;
    QLineEdit* txtAccount;
    QLineEdit* txtPasswd;
    QLineEdit* txtAmbiguousSecond;
    QLineEdit* txtKey;
    QList<QLabel*> lblGuide;
    std::array<QPushButton*, 3> btnAction;
    QStatusBar* sbPanel;
    QLabel* lblTransfer;
    QProgressBar* prgTransfer;
    QTimer* tmrSec;
    QMenu* mnuFile;
    QAction* mnuRun;
    QAction* mnuPreview;
    QAction* mnuQuitRunning;
    QAction* mnuWithOutConvTable;
    QAction* mnuSeek;
    QAction* mnuServerSetting;
    QAction* mnuClose;
    QMenu* mnuHelp;
    QAction* mnuHelpConvTable;
    QAction* mnuVersion;

    // The edit fields hold changes that are not registered.
    bool blnEditing = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildList();
    QWidget* BuildFields();
    void BuildStatusBar();
    void BuildMenus();
    void Connect();
    void CreateFormBehaviour();
    void TellMissingControls();
    void FormLoad();
    void AfterFormPosition();

    void NewProfile();
    void RegisterProfile();
    void DeleteProfile();
    bool Refuse(const QString& message, QWidget* focus);
    bool AskDiscard(const QString& question);
    QString NextFreeKey() const;
    void AddItem(const ProfileRow& row, const QString& key);
    void KeepSorted();
    QList<ProfileRow> Rows() const;
    static ProfileRow RowOf(const QTreeWidgetItem* item);

    void CountUp(int panel, const QString& suffix);
    void StripFtpScheme();
    // False, with the message shown and the focus in the box, when the interval is no number.
    bool IntervalAccepted();

    // Close handling; false cancels the close.
    bool QueryUnload(qint16 mode);

    enum class ProfileSave {
        Written,    // the file holds the list
        Reloaded,   // the user took the file's list instead; nothing was written
        LeftAlone,  // the user kept an unreadable file; nothing was written
        NotSaved,   // the save failed or the user cancelled it
    };
    bool ReadProfiles();
    ProfileSave SaveProfiles();
    bool ChangedOnDisk() const;
    MsgAnswer AskAboutChangedFile();
    bool ReloadProfiles();

    MessageHost& m_host;
    std::unique_ptr<WindowRunHost> m_runHost;
    std::unique_ptr<RunDriver> m_driver;
    std::array<QLabel*, 5> m_panels{};
    QWidget* m_buttonBar = nullptr;
    qint16 m_unloadMode = 0;
    // The profile file was there but could not be read: saving asks before replacing it.
    bool m_profilesUnreadable = false;
    // The profile file as this window last read or wrote it (ProfileFile::Stamp).
    QByteArray m_profileStamp;
    // Lines of the profile file that hold no profile: written back as they are.
    QList<QByteArray> m_keptProfileLines;
    // The local folder of the profile loaded into the fields, and what stLocalDir showed for it:
    // a folder that is missing (a disk not mounted) shows as its nearest existing parent, and the
    // profile must keep its own folder unless the user chooses another one.
    QString m_loadedLocalDir;
    QString m_loadedLocalDirShown;
    // Why ffMain is missing or refused a setting; told once the window is shown.
    QString m_formBehaviourError;
    bool m_shown = false;
    // The interval's message is on the screen.
    bool m_tellingInterval = false;
};
