#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVector>

// What a profile's exclude file keeps from ever being sent, in the pattern syntax of gitignore:
// one pattern a line, "#" comments, "*", "?", "[...]" and "**", a leading "/" (or one in the
// middle) anchors a pattern to the base folder, a trailing "/" matches folders only, "!" takes a
// path back in, "\" quotes the next character, trailing blanks go unless quoted. The last
// pattern that matches a path decides. A folder that is left out is never entered, so nothing
// below it can be taken back in.
class IgnoreRules {
public:
    // The exclude file's name in a profile's local base folder; it never goes itself.
    static QString FileName() { return QStringLiteral(".skerrowexignore"); }

    // A line that cannot be read as a pattern: its number (from 1) and why.
    struct Fault {
        int line = 0;
        QString reason;
    };
    // The rules of the lines; a faulty line is left out and named in faults, the others apply.
    static IgnoreRules Parse(const QStringList& lines, QList<Fault>* faults);

    bool IsEmpty() const { return rules_.isEmpty(); }
    // path: below the base folder, "/" between names, none at either end.
    bool Excluded(const QString& path, bool folder) const;

private:
    struct Rule {
        QRegularExpression pattern;
        bool negated = false;
        bool folderOnly = false;
        bool anchored = false;  // matched against the whole path; otherwise against the name
    };
    // The rule of one line; false for a blank or comment line, or with the reason for a fault.
    static bool ParseLine(QString line, Rule* rule, QString* reason);
    QVector<Rule> rules_;
};
