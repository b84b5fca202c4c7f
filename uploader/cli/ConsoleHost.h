#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include "RunHost.h"

// The headless runner's side of a run: the ticked profiles of the profile file, messages printed
// instead of shown, and for every question the answer that keeps data safe. Everything goes to
// stderr: a line as each profile starts and a summary as it ends; on a terminal also one status
// line, rewritten in place, with the counters and the file being sent.
class ConsoleHost : public QObject, public RunHost {
    Q_OBJECT
public:
    struct Item {
        bool checked = false;
        Typ_Profile profile;
    };
    enum class Output {
        Lines,     // into a pipe or a file: nothing that grows with the run's length
        Terminal,  // the lines and the status line
        Quiet,     // errors only
    };

    ConsoleHost(QVector<Item> items, bool investigate, QString convTablePath, Output output);

    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title = QString()) override;
    int ItemCount() override { return static_cast<int>(items_.size()); }
    bool ItemChecked(int item) override { return items_.at(item).checked; }
    Typ_Profile GetProfileFromItem(int item) override { return items_.at(item).profile; }
    void ItemConnecting(int item) override;
    // A profile's walk starts and ends: its summary line then.
    void MarkItemRunning(int item, bool running) override;
    void ShowItemInFields(int item) override;
    bool Editing() override { return false; }
    void SetRunning(bool) override {}
    QString PanelText(int panel) override;
    void SetPanelText(int panel, const QString& text) override;
    int PanelCount() override { return kPanels; }
    void SetTimerRunning(bool running) override;
    void ShowProgress(const TransferStatus& status) override;
    bool InvestigateMode() override { return investigate_; }
    QString ConvTablePath() override { return convTablePath_; }
    // The headless runner changes no setting, so there is nothing to store.
    void SaveSetting() override {}
    // The path is printed once the run is over.
    bool ShowRunLog(const QString&) override { return true; }

    // One line on stderr, the status line kept below it.
    void Tell(const QString& line);
    // The counters as one line: "12 files, 3 copies, 0 err, 40 sec".
    QString CountersLine() const;

private:
    static constexpr int kPanels = 5;
    void PrintProfile(int item);
    void DrawStatus(bool force);
    void ClearStatus();
    qint64 Count(int panel) const;

    int printed_ = -1;  // the item whose profile line was printed last
    QVector<Item> items_;
    bool investigate_;
    QString convTablePath_;
    Output output_;
    QString panels_[kPanels];
    QTimer tmrSec_;
    TransferStatus transfer_;
    bool statusShown_ = false;
    QElapsedTimer drawn_;  // since the status line was last drawn
    // The counters as the profile's walk began, and how long it has run.
    qint64 startCounts_[kPanels - 1] = {};
    QElapsedTimer profileClock_;
};
