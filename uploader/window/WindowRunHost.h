#pragma once

#include <QColor>
#include <QMap>
#include <functional>

#include "RunHost.h"

class frmSkerrow;
class MessageHost;

// The window's side of a run: the list items, the status panels, the locked controls and the
// message boxes of frmSkerrow.
class WindowRunHost : public RunHost {
public:
    WindowRunHost(frmSkerrow& form, MessageHost& messages);

    MsgAnswer ShowMessage(const QString& text, MsgIcon icon, MsgButtons buttons,
                          const QString& title = QString()) override;
    int ItemCount() override;
    bool ItemChecked(int item) override;
    Typ_Profile GetProfileFromItem(int item) override;
    void MarkItemRunning(int item, bool running) override;
    void ShowItemInFields(int item) override;
    bool Editing() override;
    void SetRunning(bool running) override;
    QString PanelText(int panel) override;
    void SetPanelText(int panel, const QString& text) override;
    int PanelCount() override { return 5; }
    void SetTimerRunning(bool running) override;
    void ShowProgress(const TransferStatus& status) override;
    bool InvestigateMode() override;
    QString ConvTablePath() override;
    void SaveSetting() override;
    bool ShowRunLog(const QString& path) override;

    // Tests look at the log instead of opening a viewer.
    std::function<bool(const QString&)> RunLogViewer;

private:
    frmSkerrow& form_;
    MessageHost& messages_;
    // Colours of the items shown red while they run.
    QMap<int, QColor> savedColours_;
};
