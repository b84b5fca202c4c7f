#pragma once

#include <QString>

#include "MessageHost.h"
#include "TransferProgress.h"
#include "Typ_Profile.h"

// What a run needs of the program around it: the window implements it with widgets, the headless
// runner with the console, tests with a scripted fake. Items are the rows of the profile list, in
// list order; panels are numbered from 1 as in the status bar.
class RunHost : public MessageHost {
public:
    virtual int ItemCount() = 0;
    virtual bool ItemChecked(int item) = 0;
    virtual Typ_Profile GetProfileFromItem(int item) = 0;
    // The item's server is about to be connected (the headless runner names the profile then;
    // the window shows the item only once its walk begins).
    virtual void ItemConnecting(int /*item*/) {}
    // Shows the item as the one being run (red text) or restores its own colour.
    virtual void MarkItemRunning(int item, bool running) = 0;
    // Clears the editing flag and loads the item into the edit fields, as a click on it does.
    virtual void ShowItemInFields(int item) = 0;
    // The edit fields hold changes that were not registered.
    virtual bool Editing() = 0;
    // Locks the list and the edit fields and swaps the run and stop menu items, or undoes it.
    virtual void SetRunning(bool running) = 0;
    virtual QString PanelText(int panel) = 0;
    virtual void SetPanelText(int panel, const QString& text) = 0;
    virtual int PanelCount() = 0;
    // The one-second timer that counts panel 5.
    virtual void SetTimerRunning(bool running) = 0;
    // What is being sent: after every change while files go (a few times a second at most for
    // each), and with no transfer once the walk has ended.
    virtual void ShowProgress(const TransferStatus& /*status*/) {}
    // Investigate mode: files are recorded as sent but not transferred.
    virtual bool InvestigateMode() = 0;
    // The conversion table file the user chose ("" for none).
    virtual QString ConvTablePath() = 0;
    // Stores the settings (the conversion table path) in the settings file.
    virtual void SaveSetting() = 0;
    // Opens the run log for the user; false when no viewer could be shown.
    virtual bool ShowRunLog(const QString& path) = 0;
};
