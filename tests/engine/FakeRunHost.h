#pragma once

#include <QColor>
#include <QList>
#include <QStringList>
#include <functional>

#include "RunHost.h"
#include "ScriptedMessageHost.h"

// A profile list and status bar in memory, with scripted answers and hooks to act mid-run.
class FakeRunHost : public RunHost {
public:
    struct Item {
        bool checked = true;
        Typ_Profile profile;
    };

    QList<Item> items;
    ScriptedMessageHost messages;
    QString panels[5];
    bool editing = false;
    bool running = false;
    bool timerRunning = false;
    bool investigate = false;
    QString convTablePath;
    int settingsSaved = 0;
    QStringList runLogsShown;
    QList<int> shownInFields;
    QList<QPair<int, bool>> marks;
    // Called after every change of a panel's text.
    std::function<void(int panel, const QString& text)> onPanel;

    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title = QString()) override {
        return messages.ShowMessage(text, icon, buttons, title);
    }
    int ItemCount() override { return static_cast<int>(items.size()); }
    bool ItemChecked(int item) override { return items.at(item).checked; }
    Typ_Profile GetProfileFromItem(int item) override { return items.at(item).profile; }
    void MarkItemRunning(int item, bool on) override { marks.append({item, on}); }
    void ShowItemInFields(int item) override { shownInFields.append(item); }
    bool Editing() override { return editing; }
    void SetRunning(bool on) override { running = on; }
    QString PanelText(int panel) override { return panels[panel - 1]; }
    void SetPanelText(int panel, const QString& text) override {
        panels[panel - 1] = text;
        if (onPanel)
            onPanel(panel, text);
    }
    int PanelCount() override { return 5; }
    void SetTimerRunning(bool on) override { timerRunning = on; }
    bool InvestigateMode() override { return investigate; }
    QString ConvTablePath() override { return convTablePath; }
    void SaveSetting() override { ++settingsSaved; }
    bool ShowRunLog(const QString& path) override {
        runLogsShown.append(path);
        return true;
    }
};
