#include "ConsoleHost.h"

#include <cstdio>

#include "StatusCounters.h"

namespace {

void PrintErr(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

}  // namespace

ConsoleHost::ConsoleHost(QVector<Item> items, bool investigate, QString convTablePath)
    : items_(std::move(items)),
      investigate_(investigate),
      convTablePath_(std::move(convTablePath)) {
    tmrSec_.setInterval(1000);
    connect(&tmrSec_, &QTimer::timeout, this, [this] {
        SetPanelText(5, StatusCounters::CountedUp(PanelText(5), StatusCounters::kSeconds));
        PrintCounters();
    });
}

MsgAnswer ConsoleHost::ShowMessage(const QString& text, MsgIcon, MsgButtons buttons,
                                   const QString&) {
    PrintErr(QStringLiteral("SkerrowEx: ") +
             QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // Nobody is there to answer: go on only where going on loses nothing.
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoDefaultNo:
            return MsgAnswer::No;
        case MsgButtons::YesNoCancel:
            break;
    }
    return MsgAnswer::Cancel;
}

// The profile line comes before the connection, so a server that never answers is named.
void ConsoleHost::ItemConnecting(int item) {
    PrintProfile(item);
}

void ConsoleHost::ShowItemInFields(int item) {
    PrintProfile(item);
}

void ConsoleHost::PrintProfile(int item) {
    if (item == printed_)
        return;
    printed_ = item;
    const Typ_Profile& profile = items_.at(item).profile;
    PrintErr(QStringLiteral("profile %1: %2 -> ftp://%3")
                 .arg(item + 1)
                 .arg(profile.LocalBaseDir, profile.FtpDir));
}

QString ConsoleHost::PanelText(int panel) {
    return panels_[panel - 1];
}

void ConsoleHost::SetPanelText(int panel, const QString& text) {
    panels_[panel - 1] = text;
}

void ConsoleHost::SetTimerRunning(bool running) {
    if (running) {
        tmrSec_.start();
    } else {
        tmrSec_.stop();
        PrintCounters();
    }
}

QString ConsoleHost::CountersLine() const {
    using StatusCounters::LeadingNumber;
    return QStringLiteral("%1 files, %2 copies, %3 err, %4 sec")
        .arg(LeadingNumber(panels_[1]))
        .arg(LeadingNumber(panels_[2]))
        .arg(LeadingNumber(panels_[3]))
        .arg(LeadingNumber(panels_[4]));
}

void ConsoleHost::PrintCounters() {
    PrintErr(CountersLine());
}
