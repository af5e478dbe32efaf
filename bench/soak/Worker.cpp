#include "Worker.h"

#include "Window.h"

#include "Main.h"
#include "RecordSet.h"
#include "Rights.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <functional>
#include <set>

namespace soak {

QString workerName(int index)
{
    return QStringLiteral("soak%1").arg(index);
}

namespace {

// Names from a small pool, so that sessions now and then pick the same one and the name check meets them.
constexpr int kNamePool = 400;
// Users the sessions edit in common: a save on one of them provokes the conflicts the store must report.
constexpr int kSharedUsers = 6;

// Answers every modal window the actions open, as an administrator would: yes to each question, the text
// or rights chosen for the action, OK to every complaint (which it keeps, word for word).
class Answerer : public QObject
{
public:
    explicit Answerer(const QString &file) : m_file(file)
    {
        m_poll.setInterval(5);
        connect(&m_poll, &QTimer::timeout, this, [this] { look(); });
        m_poll.start();
    }

    QString inputText;
    QStringList rights;   // the boxes of the standard rights dialog to tick
    QStringList refusals; // warnings and errors seen since last cleared

private:
    void look()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_answered)
            return;
        m_answered = w;
        if (w->objectName() == u"SLogon") {
            w->findChild<QLineEdit *>(QStringLiteral("Benutzer"))->setText(QStringLiteral("admin"));
            w->findChild<QLineEdit *>(QStringLiteral("Pass"))->setText(QStringLiteral("admin"));
            QTimer::singleShot(0, w->findChild<QPushButton *>(QStringLiteral("OKbutton")),
                               &QPushButton::click);
        } else if (auto *open = qobject_cast<QFileDialog *>(w)) {
            open->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(m_file);
            QTimer::singleShot(0, open, [open] { QMetaObject::invokeMethod(open, "accept"); });
        } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
            if (box->icon() != QMessageBox::Question)
                refusals << box->text();
            QAbstractButton *press = nullptr;
            for (QAbstractButton *b : box->buttons()) {
                const auto role = box->buttonRole(b);
                if (role == QMessageBox::YesRole || role == QMessageBox::AcceptRole)
                    press = b;
            }
            if (!press && !box->buttons().isEmpty())
                press = box->buttons().constFirst();
            QTimer::singleShot(0, press, &QAbstractButton::click);
        } else if (auto *input = qobject_cast<QInputDialog *>(w)) {
            input->setTextValue(inputText);
            QTimer::singleShot(0, input, &QDialog::accept);
        } else if (w->objectName() == u"FAnlegen") {
            for (const QString &name : std::as_const(rights))
                w->findChild<QCheckBox *>(name)->setChecked(true);
            QTimer::singleShot(0, w->findChild<QAbstractButton *>(QStringLiteral("Button1")),
                               &QAbstractButton::click);
        } else {
            std::fprintf(stderr, "bench-soak: unexpected window %s\n", qPrintable(w->objectName()));
            w->close();
        }
    }

    QString m_file;
    QTimer m_poll;
    QPointer<QWidget> m_answered;
};

// A row the action wrote, as the session was told it was stored.
QJsonObject written(const QString &table, const QVariant &row, const QString &aktion,
                    const QJsonObject &values = {})
{
    QJsonObject o{{QStringLiteral("table"), table}, {QStringLiteral("aktion"), aktion}};
    if (row.isValid() && !row.isNull())
        o.insert(QStringLiteral("zeile"), row.toLongLong());
    if (!values.isEmpty())
        o.insert(QStringLiteral("values"), values);
    return o;
}

std::set<qint64> idsOf(store::RecordSet *set, const QString &field)
{
    std::set<qint64> ids;
    const int f = set->fieldIndex(field);
    for (int row = 0; row < set->rowCount(); ++row) {
        if (!set->isPendingRow(row))
            ids.insert(set->valueAt(row, f).toLongLong());
    }
    return ids;
}

class Session
{
public:
    Session(const WorkerOptions &o, TFMain &main, Answerer &answers)
        : m_o(o), m_main(main), m_answers(answers), m_random(o.seed), m_log(o.log)
    {
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw store::StoreError(QStringLiteral("cannot write %1").arg(o.log));
    }

    void run()
    {
        QElapsedTimer clock;
        clock.start();
        const std::vector<std::pair<const char *, std::function<void()>>> actions = {
            {"newUser", [this] { newUser(); }},
            {"saveUser", [this] { saveUser(); }},
            {"saveUser", [this] { saveUser(); }},
            {"deleteUser", [this] { deleteUser(); }},
            {"addGroup", [this] { addGroup(); }},
            {"standardRights", [this] { standardRights(); }},
            {"assignOne", [this] { assignOne(); }},
            {"assignAll", [this] { assignAll(); }},
            {"removeAssignment", [this] { removeAssignment(); }},
            {"deleteFunction", [this] { deleteFunction(); }},
            {"copyRights", [this] { copyRights(); }},
            {"overview", [this] { overview(); }},
        };
        while (clock.elapsed() < qint64(m_o.seconds) * 1000) {
            const auto &[name, act] = actions[m_random.bounded(quint32(actions.size()))];
            m_action = QString::fromLatin1(name);
            m_rows = QJsonArray();
            m_answers.refusals.clear();
            m_skipped = false;
            QString thrown;
            try {
                if (m_random.bounded(4) == 0)
                    rereadAll();
                act();
            } catch (const std::exception &e) {
                thrown = QString::fromUtf8(e.what());
            }
            pages::settle();
            if (!m_skipped || !thrown.isEmpty() || !m_answers.refusals.isEmpty())
                logOutcome(thrown);
            leavePending();
        }
    }

private:
    QJsonObject line() const
    {
        return {{QStringLiteral("worker"), m_o.index},
                {QStringLiteral("action"), m_action},
                {QStringLiteral("ms"), QDateTime::currentMSecsSinceEpoch()}};
    }

    void logOutcome(const QString &thrown)
    {
        QJsonObject o = line();
        QStringList refusals = m_answers.refusals;
        if (!thrown.isEmpty())
            refusals << thrown;
        o.insert(QStringLiteral("stored"), refusals.isEmpty());
        if (refusals.isEmpty())
            o.insert(QStringLiteral("rows"), m_rows);
        else
            o.insert(QStringLiteral("refused"), refusals.join(QStringLiteral(" | ")));
        m_log.write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
        m_log.flush();
    }

    // A refused write leaves its row pending in the set: the administrator gives it up before the next.
    void leavePending()
    {
        for (store::RecordSet *set : {m_main.UserList, m_main.Funktionen, m_main.FunktionenBenutzer}) {
            if (set->isEditing())
                set->cancel();
        }
    }

    void rereadAll()
    {
        m_main.UserList->refresh();
        m_main.Funktionen->refresh();
        m_main.FunktionenBenutzer->refresh();
    }

    // The other sessions' changes since the set was read show only after this, as for a user.
    int randomRow(store::RecordSet *set)
    {
        return set->rowCount() == 0 ? -1 : int(m_random.bounded(quint32(set->rowCount())));
    }

    QString freshName() { return QStringLiteral("w%1-%2").arg(m_o.index).arg(++m_counter); }

    void click(QToolButton *button) { button->click(); }

    void newUser()
    {
        click(m_main.Bneu);
        store::RecordSet *users = m_main.UserList;
        if (users->state() != store::DataState::Insert)
            return;
        const QString name = QStringLiteral("soak-%1").arg(m_random.bounded(kNamePool));
        const QString initials = QStringLiteral("S%1").arg(m_random.bounded(kNamePool));
        using namespace schema::benutzer;
        users->field(kUser).setAsString(name);
        users->field(kInitialien).setAsString(initials);
        users->field(kRealName).setAsString(freshName());
        users->field(kNTUser).setAsString(name);
        click(m_main.Bsave);
        if (users->isEditing() || !m_answers.refusals.isEmpty())
            return;
        m_rows.append(written(schema::kBenutzer, users->field(kId).asInteger(), schema::aktion::kAngelegt,
                              {{kUser, name}, {kInitialien, initials}}));
    }

    // Moves to a user the sessions share, or any other one now and then; never the administrator, whom
    // every session needs to sign on.
    bool pickUser(bool shared)
    {
        store::RecordSet *users = m_main.UserList;
        std::vector<int> rows;
        const int f = users->fieldIndex(schema::benutzer::kUser);
        for (int row = 0; row < users->rowCount(); ++row) {
            const QString name = users->valueAt(row, f).toString();
            if (name != u"admin" && !users->isPendingRow(row))
                rows.push_back(row);
        }
        if (rows.empty())
            return false;
        const int limit = shared ? std::min(int(rows.size()), kSharedUsers) : int(rows.size());
        users->moveTo(rows[m_random.bounded(quint32(limit))]);
        return true;
    }

    void saveUser()
    {
        if (!pickUser(m_random.bounded(3) != 0)) {
            m_skipped = true;
            return;
        }
        store::RecordSet *users = m_main.UserList;
        using namespace schema::benutzer;
        const qint32 id = users->field(kId).asInteger();
        const QString realName = freshName();
        users->edit();
        users->field(kRealName).setAsString(realName);
        click(m_main.Bsave);
        if (users->isEditing() || !m_answers.refusals.isEmpty())
            return;
        m_rows.append(written(schema::kBenutzer, id, schema::aktion::kGeaendert, {{kRealName, realName}}));
    }

    void deleteUser()
    {
        store::RecordSet *users = m_main.UserList;
        if (!pickUser(false) || !users->field(schema::benutzer::kUser).asString().startsWith(u"soak-")) {
            m_skipped = true;
            return;
        }
        const qint32 id = users->field(schema::benutzer::kId).asInteger();
        click(m_main.Bdel);
        if (!m_answers.refusals.isEmpty())
            return;
        m_rows.append(written(schema::kBenutzer, id, schema::aktion::kGeloescht));
    }

    // The group on show: the root most of the time, else a group a session made.
    void pickGroup()
    {
        if (m_random.bounded(3) != 0 || m_main.Funktionen->isEmpty()) {
            m_main.showGroup(schema::kRootId, schema::kRootTitle);
            return;
        }
        m_main.Funktionen->moveTo(randomRow(m_main.Funktionen));
        if (m_main.Funktionen->field(schema::funktionen::kTitel).asString().startsWith(u'w'))
            m_main.DBGrid3DblClick();
    }

    void recordNewFunctions(const std::set<qint64> &before)
    {
        store::RecordSet *functions = m_main.Funktionen;
        const int title = functions->fieldIndex(schema::funktionen::kTitel);
        const int id = functions->fieldIndex(schema::funktionen::kId);
        for (int row = 0; row < functions->rowCount(); ++row) {
            const qint64 zeile = functions->valueAt(row, id).toLongLong();
            if (!functions->isPendingRow(row) && !before.contains(zeile))
                m_rows.append(
                    written(schema::kFunktionen, zeile, schema::aktion::kAngelegt,
                            {{schema::funktionen::kTitel, functions->valueAt(row, title).toString()},
                             {schema::funktionen::kInGruppe, m_main.currentGroup()}}));
        }
    }

    void addGroup()
    {
        pickGroup();
        const std::set<qint64> before = idsOf(m_main.Funktionen, schema::funktionen::kId);
        m_answers.inputText = freshName();
        click(m_main.GroupAdd);
        if (m_answers.refusals.isEmpty())
            recordNewFunctions(before);
    }

    void standardRights()
    {
        pickGroup();
        const std::set<qint64> before = idsOf(m_main.Funktionen, schema::funktionen::kId);
        m_answers.rights.clear();
        for (const char *box : {"add", "change", "delete", "Print"}) {
            if (m_random.bounded(2) == 0)
                m_answers.rights << QString::fromLatin1(box);
        }
        click(m_main.ToolButton6);
        if (m_answers.refusals.isEmpty())
            recordNewFunctions(before);
    }

    bool pickFunction()
    {
        pickGroup();
        if (m_main.Funktionen->isEmpty())
            return false;
        m_main.Funktionen->moveTo(randomRow(m_main.Funktionen));
        return true;
    }

    void recordNewAssignments(const std::set<qint64> &before)
    {
        store::RecordSet *assigned = m_main.FunktionenBenutzer;
        using namespace schema::funktionenBenutzer;
        const int id = assigned->fieldIndex(kId);
        const int function = assigned->fieldIndex(kFunktion);
        const int user = assigned->fieldIndex(kUser);
        for (int row = 0; row < assigned->rowCount(); ++row) {
            const qint64 zeile = assigned->valueAt(row, id).toLongLong();
            if (!assigned->isPendingRow(row) && !before.contains(zeile))
                m_rows.append(written(schema::kFunktionenBenutzer, zeile, schema::aktion::kAngelegt,
                                      {{kFunktion, assigned->valueAt(row, function).toInt()},
                                       {kUser, assigned->valueAt(row, user).toString()}}));
        }
    }

    void assignOne()
    {
        if (!pickFunction() || !pickUser(false)) {
            m_skipped = true;
            return;
        }
        const std::set<qint64> before = idsOf(m_main.FunktionenBenutzer, schema::funktionenBenutzer::kId);
        click(m_main.UserAdd);
        if (m_answers.refusals.isEmpty())
            recordNewAssignments(before);
    }

    void assignAll()
    {
        // Only into a group a session made: everyone everywhere would soon make every reading slow.
        if (!pickFunction() ||
            !m_main.Funktionen->field(schema::funktionen::kTitel).asString().startsWith(u'w')) {
            m_skipped = true;
            return;
        }
        const std::set<qint64> before = idsOf(m_main.FunktionenBenutzer, schema::funktionenBenutzer::kId);
        click(m_main.UserAddall);
        if (m_answers.refusals.isEmpty())
            recordNewAssignments(before);
    }

    void removeAssignment()
    {
        if (!pickFunction() || m_main.FunktionenBenutzer->isEmpty()) {
            m_skipped = true;
            return;
        }
        store::RecordSet *assigned = m_main.FunktionenBenutzer;
        assigned->moveTo(randomRow(assigned));
        const qint64 id = assigned->field(schema::funktionenBenutzer::kId).asInteger();
        click(m_main.UserDEL);
        if (m_answers.refusals.isEmpty())
            m_rows.append(written(schema::kFunktionenBenutzer, id, schema::aktion::kGeloescht));
    }

    void deleteFunction()
    {
        if (!pickFunction() ||
            !m_main.Funktionen->field(schema::funktionen::kTitel).asString().startsWith(u'w')) {
            m_skipped = true;
            return;
        }
        const qint64 id = m_main.Funktionen->field(schema::funktionen::kId).asInteger();
        click(m_main.GroupDel);
        if (m_answers.refusals.isEmpty())
            m_rows.append(written(schema::kFunktionen, id, schema::aktion::kGeloescht));
    }

    // As the rights window copies: the file read at one moment, the lacking functions given in one go.
    void copyRights()
    {
        store::Connection &db = SData->SecureDB;
        const rights::Snapshot file = rights::Snapshot::read(db);
        const auto &users = file.users();
        if (users.size() < 2) {
            m_skipped = true;
            return;
        }
        const rights::User &source = users[m_random.bounded(quint32(users.size()))];
        const rights::User &target = users[m_random.bounded(quint32(users.size()))];
        if (&source == &target) {
            m_skipped = true;
            return;
        }
        const int added = rights::copyRights(db, file, source, target);
        QJsonObject row = written(schema::kFunktionenBenutzer, QVariant(), schema::aktion::kAngelegt,
                                  {{schema::funktionenBenutzer::kUser, target.initials}});
        row.insert(QStringLiteral("count"), added);
        if (added > 0)
            m_rows.append(row);
    }

    void overview()
    {
        const rights::Snapshot file = rights::Snapshot::read(SData->SecureDB);
        (void)file.overview();
    }

    const WorkerOptions &m_o;
    TFMain &m_main;
    Answerer &m_answers;
    QRandomGenerator m_random;
    QFile m_log;
    QString m_action;
    QJsonArray m_rows;
    bool m_skipped = false;
    int m_counter = 0;
};

} // namespace

int runWorker(const WorkerOptions &options)
{
    setProgramFolder(options.folder);
    Answerer answers(options.file);
    try {
        auto session = std::make_unique<TSData>();
        auto main = std::make_unique<TFMain>();
        if (main->terminated() || !main->FunktionenBenutzer || !main->FunktionenBenutzer->isOpen()) {
            std::fprintf(stderr, "bench-soak: worker %d: the start-up did not open %s: %s\n", options.index,
                         qPrintable(options.file), qPrintable(answers.refusals.join(u'|')));
            return 2;
        }
        main->show();
        pages::settle();
        if (SData->Journal)
            SData->Journal->setAdministrator(workerName(options.index));
        Session s(options, *main, answers);
        s.run();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench-soak: worker %d: %s\n", options.index, e.what());
        return 2;
    }
    return 0;
}

} // namespace soak
