#include "ConsoleHost.h"

#include <QFileInfo>
#include <cstdio>

#include "FtpAddress.h"
#include "StatusCounters.h"

namespace {

constexpr int kRedrawMs = 200;

void Write(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// Back to the line's start and erase it.
const QString kEraseLine = QStringLiteral("\r\x1b[K");
// A status line longer than the terminal is cut at its edge rather than wrapped, so that the
// next one still overwrites all of it.
const QString kNoWrap = QStringLiteral("\x1b[?7l");
const QString kWrap = QStringLiteral("\x1b[?7h");

}  // namespace

ConsoleHost::ConsoleHost(QVector<Item> items, bool investigate, QString convTablePath,
                         Output output)
    : items_(std::move(items)),
      investigate_(investigate),
      convTablePath_(std::move(convTablePath)),
      output_(output) {
    tmrSec_.setInterval(1000);
    connect(&tmrSec_, &QTimer::timeout, this, [this] {
        SetPanelText(5, StatusCounters::CountedUp(PanelText(5), StatusCounters::kSeconds));
        DrawStatus(true);
    });
}

MsgAnswer ConsoleHost::ShowMessage(const QString& text, MsgIcon, MsgButtons buttons,
                                   const QString&) {
    Tell(QStringLiteral("SkerrowEx: ") +
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
    if (output_ != Output::Quiet)
        PrintProfile(item);
}

void ConsoleHost::MarkItemRunning(int item, bool running) {
    if (running) {
        for (int panel = 2; panel <= kPanels; ++panel)
            startCounts_[panel - 2] = Count(panel);
        profileClock_.start();
        return;
    }
    const qint64 errors = Count(4) - startCounts_[2];
    // Quiet, a profile that went well says nothing.
    if (output_ == Output::Quiet && errors == 0)
        return;
    PrintProfile(item);
    Tell(QStringLiteral("profile %1: %2 files, %3 copies, %4 err, %5 sec")
             .arg(item + 1)
             .arg(Count(2) - startCounts_[0])
             .arg(Count(3) - startCounts_[1])
             .arg(errors)
             .arg(profileClock_.elapsed() / 1000));
}

// The failing profile of a connection failure, named before its message.
void ConsoleHost::ShowItemInFields(int item) {
    PrintProfile(item);
}

void ConsoleHost::PrintProfile(int item) {
    if (item == printed_)
        return;
    printed_ = item;
    const Typ_Profile& profile = items_.at(item).profile;
    Tell(QStringLiteral("profile %1: %2 -> %3")
             .arg(item + 1)
             .arg(profile.LocalBaseDir, AddressColumnText(profile.FtpDir)));
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
        ClearStatus();
    }
}

void ConsoleHost::ShowProgress(const TransferStatus& status) {
    transfer_ = status;
    DrawStatus(false);
}

void ConsoleHost::Tell(const QString& line) {
    const bool redraw = statusShown_;
    ClearStatus();
    Write(line + u'\n');
    if (redraw)
        DrawStatus(true);
}

qint64 ConsoleHost::Count(int panel) const {
    return StatusCounters::LeadingNumber(panels_[panel - 1]);
}

QString ConsoleHost::CountersLine() const {
    return QStringLiteral("%1 files, %2 copies, %3 err, %4 sec")
        .arg(Count(2))
        .arg(Count(3))
        .arg(Count(4))
        .arg(Count(5));
}

// The counters, then the file with its per cent and rate (with several, their number).
void ConsoleHost::DrawStatus(bool force) {
    if (output_ != Output::Terminal || !tmrSec_.isActive() ||
        (!force && drawn_.isValid() && drawn_.elapsed() < kRedrawMs))
        return;
    drawn_.start();
    QString line = CountersLine();
    if (transfer_.transfers > 0) {
        line +=
            QStringLiteral(" | ") +
            (transfer_.transfers == 1 ? QFileInfo(transfer_.localPath).fileName()
                                      : QStringLiteral("%1 transfers").arg(transfer_.transfers)) +
            QStringLiteral(" %1%").arg(transfer_.Percent());
        if (transfer_.rate > 0)
            line += u' ' + TransferProgress::RateText(transfer_.rate);
    }
    Write(u'\r' + kNoWrap + line + QStringLiteral("\x1b[K") + kWrap);
    statusShown_ = true;
}

void ConsoleHost::ClearStatus() {
    if (!statusShown_)
        return;
    Write(kEraseLine);
    statusShown_ = false;
}
