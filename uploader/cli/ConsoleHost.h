#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include "RunHost.h"

// The headless runner's side of a run: the ticked profiles of the profile file, the counters
// printed to stderr as they go, messages printed instead of shown, and for every question the
// answer that keeps data safe.
class ConsoleHost : public QObject, public RunHost {
    Q_OBJECT
public:
    struct Item {
        bool checked = false;
        Typ_Profile profile;
    };

    ConsoleHost(QVector<Item> items, bool investigate, QString convTablePath);

    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title = QString()) override;
    int ItemCount() override { return static_cast<int>(items_.size()); }
    bool ItemChecked(int item) override { return items_.at(item).checked; }
    Typ_Profile GetProfileFromItem(int item) override { return items_.at(item).profile; }
    void ItemConnecting(int item) override;
    // The profile was named when its server was connected.
    void MarkItemRunning(int, bool) override {}
    void ShowItemInFields(int item) override;
    bool Editing() override { return false; }
    void SetRunning(bool) override {}
    QString PanelText(int panel) override;
    void SetPanelText(int panel, const QString& text) override;
    int PanelCount() override { return kPanels; }
    void SetTimerRunning(bool running) override;
    bool InvestigateMode() override { return investigate_; }
    QString ConvTablePath() override { return convTablePath_; }
    // The headless runner changes no setting, so there is nothing to store.
    void SaveSetting() override {}
    // The path is printed once the run is over.
    bool ShowRunLog(const QString&) override { return true; }

    // The counters as one line: "12 files, 3 copies, 0 err, 40 sec".
    QString CountersLine() const;

private:
    static constexpr int kPanels = 5;
    void PrintProfile(int item);
    void PrintCounters();

    int printed_ = -1;  // the item whose profile line was printed last
    QVector<Item> items_;
    bool investigate_;
    QString convTablePath_;
    QString panels_[kPanels];
    QTimer tmrSec_;
};
