#include "ReportChoices.h"

#include "JournalRead.h"

namespace rechte {

bool ReportChoices::offers(ReportScope scope) const
{
    switch (scope) {
    case ReportScope::User:
        return !user.isEmpty();
    case ReportScope::Function:
    case ReportScope::FunctionBelow:
        return function.has_value();
    case ReportScope::AllUsers:
    case ReportScope::AllFunctions:
        return true;
    }
    return false;
}

ReportScope ReportChoices::first(bool showingFunctions, bool below) const
{
    if (showingFunctions && function)
        return below ? ReportScope::FunctionBelow : ReportScope::Function;
    if (!showingFunctions && !user.isEmpty())
        return ReportScope::User;
    return ReportScope::AllUsers;
}

report::Scope ReportChoices::scope(ReportScope scope) const
{
    report::Scope s;
    switch (scope) {
    case ReportScope::User:
        s.kind = report::ScopeKind::User;
        s.user = user;
        break;
    case ReportScope::Function:
    case ReportScope::FunctionBelow:
        s.kind = report::ScopeKind::Function;
        s.function = function.value_or(0);
        s.below = scope == ReportScope::FunctionBelow;
        break;
    case ReportScope::AllUsers:
        s.kind = report::ScopeKind::AllUsers;
        break;
    case ReportScope::AllFunctions:
        s.kind = report::ScopeKind::AllFunctions;
        break;
    }
    return s;
}

QDate ReportChoices::since(QDate today) const
{
    if (lastReview) {
        const QDateTime at = QDateTime::fromString(lastReview->zeit, Qt::ISODateWithMs);
        if (at.isValid())
            return at.toUTC().date();
    }
    return today.addYears(-1);
}

bool ReportChoices::listsChangesFirst(ReportScope scope) const
{
    return hasJournal && scope == ReportScope::User && lastReview.has_value();
}

QString ReportChoices::describe(ReportScope scope) const
{
    switch (scope) {
    case ReportScope::User:
        return QStringLiteral("Benutzer %1").arg(user);
    case ReportScope::Function:
        return QStringLiteral("Funktion %1").arg(function.value_or(0));
    case ReportScope::FunctionBelow:
        return QStringLiteral("Funktion %1 und darunter").arg(function.value_or(0));
    case ReportScope::AllUsers:
        return QStringLiteral("alle Benutzer");
    case ReportScope::AllFunctions:
        return QStringLiteral("alle Funktionen");
    }
    return QString();
}

QString ReportChoices::fileName(ReportScope scope) const
{
    QString name = describe(scope);
    // A user's name may hold what a file name cannot.
    for (QChar &c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
            c == u'>' || c == u'|' || c.unicode() < 0x20)
            c = u'_';
    }
    return QStringLiteral("Bericht %1.pdf").arg(name);
}

QString sinceZeit(QDate day)
{
    return journal::parseSince(day.toString(Qt::ISODate)).value_or(QString());
}

} // namespace rechte
