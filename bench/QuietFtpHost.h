#pragma once

#include <cstdio>
#include <utility>

#include "FtpHost.h"

// The host of a benchmark's FTP client: no logs, socket errors on stderr, one server's options.
class QuietFtpHost : public FtpHost {
public:
    explicit QuietFtpHost(Typ_ServerOptions options = {}) : m_options(std::move(options)) {}
    void Logging(const QString&) override {}
    void WriteLog(const QString&) override {}
    void ShowSocketError(const QString& text) override {
        std::fprintf(stderr, "socket error: %s\n", qPrintable(text));
    }
    bool InvestigateMode() override { return false; }
    Typ_ServerOptions ServerOptions(const QString&) override { return m_options; }

private:
    Typ_ServerOptions m_options;
};
