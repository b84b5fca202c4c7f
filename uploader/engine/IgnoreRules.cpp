#include "IgnoreRules.h"

namespace {

// A character that stands for itself.
QString Literal(QChar c) {
    if (c.unicode() < 0x80 && !c.isLetterOrNumber())
        return QStringLiteral("\\") + c;
    return QString(c);
}

// A bracket expression from glob[*i] == '[' to its "]", which never matches "/"; *i ends past it.
bool Bracket(const QString& glob, qsizetype* i, QString* regex) {
    qsizetype j = *i + 1;
    const bool negated = j < glob.size() && (glob.at(j) == u'!' || glob.at(j) == u'^');
    if (negated)
        ++j;
    QString body;
    for (const qsizetype first = j; j < glob.size(); ++j) {
        const QChar c = glob.at(j);
        if (c == u']' && j > first) {
            *regex += negated ? QStringLiteral("[^/") + body + u']'
                              : QStringLiteral("(?:(?!/)[") + body + QStringLiteral("])");
            *i = j + 1;
            return true;
        }
        if (c == u'[' && glob.mid(j, 2) == QLatin1String("[:")) {
            // A character class such as [:alpha:], which the regular expression knows as well.
            const qsizetype end = glob.indexOf(QLatin1String(":]"), j + 2);
            if (end < 0)
                return false;
            body += glob.mid(j, end + 2 - j);
            j = end + 1;
        } else if (c == u'\\') {
            if (++j == glob.size())
                return false;
            body += Literal(glob.at(j));
        } else {
            body += c == u'-' ? QString(c) : Literal(c);
        }
    }
    return false;
}

// The regular expression of a glob whose wildcards never match "/", but for "**" as a whole
// name: "**/" any folders or none, "/**" at the end everything below.
bool GlobToRegex(const QString& glob, QString* regex, QString* reason) {
    for (qsizetype i = 0; i < glob.size();) {
        const QChar c = glob.at(i);
        if (c == u'*') {
            qsizetype j = i;
            while (j < glob.size() && glob.at(j) == u'*')
                ++j;
            const bool wholeName = j - i >= 2 && (i == 0 || glob.at(i - 1) == u'/') &&
                                   (j == glob.size() || glob.at(j) == u'/');
            if (!wholeName) {
                *regex += QStringLiteral("[^/]*");
            } else if (j == glob.size()) {
                *regex += QStringLiteral(".*");
            } else {
                *regex += QStringLiteral("(?:.*/)?");
                ++j;
            }
            i = j;
        } else if (c == u'?') {
            *regex += QStringLiteral("[^/]");
            ++i;
        } else if (c == u'[') {
            if (!Bracket(glob, &i, regex)) {
                *reason = QStringLiteral("a \"[\" without its \"]\"");
                return false;
            }
        } else if (c == u'\\') {
            if (i + 1 == glob.size()) {
                *reason = QStringLiteral("a \"\\\" with nothing after it");
                return false;
            }
            *regex += Literal(glob.at(i + 1));
            i += 2;
        } else {
            *regex += Literal(c);
            ++i;
        }
    }
    return true;
}

// Drops the trailing blanks that no backslash quotes.
QString WithoutTrailingBlanks(const QString& line) {
    qsizetype kept = 0;  // up to the last character that stays
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == u'\\' && i + 1 < line.size())
            kept = ++i + 1;  // the quoted character stays, blank or not
        else if (line.at(i) != u' ')
            kept = i + 1;
    }
    return line.left(kept);
}

}  // namespace

IgnoreRules IgnoreRules::Parse(const QStringList& lines, QList<Fault>* faults) {
    IgnoreRules rules;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        Rule rule;
        QString reason;
        if (ParseLine(lines.at(n), &rule, &reason))
            rules.rules_.append(rule);
        else if (!reason.isEmpty())
            faults->append({static_cast<int>(n + 1), reason});
    }
    return rules;
}

bool IgnoreRules::ParseLine(QString line, Rule* rule, QString* reason) {
    if (line.startsWith(u'#'))
        return false;
    line = WithoutTrailingBlanks(line);
    if (line.isEmpty())
        return false;
    rule->negated = line.startsWith(u'!');
    if (rule->negated)
        line.remove(0, 1);
    rule->folderOnly = line.endsWith(u'/');
    if (rule->folderOnly)
        line.chop(1);
    rule->anchored = line.contains(u'/');
    if (line.startsWith(u'/'))
        line.remove(0, 1);
    QString regex;
    if (line.isEmpty())
        *reason = QStringLiteral("no name to match");
    else if (GlobToRegex(line, &regex, reason))
        rule->pattern.setPattern(QRegularExpression::anchoredPattern(regex));
    if (reason->isEmpty() && !rule->pattern.isValid())
        *reason = rule->pattern.errorString();
    return reason->isEmpty();
}

bool IgnoreRules::Excluded(const QString& path, bool folder) const {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    for (auto rule = rules_.crbegin(); rule != rules_.crend(); ++rule) {
        if ((!rule->folderOnly || folder) &&
            rule->pattern.match(rule->anchored ? path : name).hasMatch())
            return !rule->negated;
    }
    return false;
}
