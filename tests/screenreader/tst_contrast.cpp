// The program for someone who needs high contrast and large text: a dark high-contrast palette and text at
// 1.5 times its size (the screen reports 144 dpi, as a desktop's "large text" does), every window at its
// designed size. Every text stands out from what it is drawn on, and none is cut off where the user cannot
// scroll to it.

#include "MainDriver.h"
#include "ServerMode.h"

#include "GruppenBaum.h"
#include "KeyedWindow.h"
#include "Main.h"
#include "Rechte.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using driver::Script;

namespace {

QPalette highContrast()
{
    QPalette p;
    for (QPalette::ColorRole role :
         {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase, QPalette::ToolTipBase,
          QPalette::HighlightedText})
        p.setColor(role, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                     QPalette::ToolTipText, QPalette::BrightText, QPalette::PlaceholderText})
        p.setColor(role, Qt::white);
    p.setColor(QPalette::Highlight, Qt::yellow);
    return p;
}

bool inScrollArea(const QWidget *w)
{
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea *>(p))
            return true;
    }
    return false;
}

// The widget's own text, as it is drawn; empty for widgets that show none.
QString shownText(const QWidget *w)
{
    QString text;
    if (const auto *label = qobject_cast<const QLabel *>(w))
        text = label->textFormat() == Qt::RichText ? QString() : label->text();
    else if (const auto *button = qobject_cast<const QAbstractButton *>(w))
        text = button->text();
    else if (const auto *box = qobject_cast<const QGroupBox *>(w))
        text = box->title();
    if (const auto *tool = qobject_cast<const QToolButton *>(w);
        tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly)
        text.clear();
    return text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
}

// What of the text does not fit into the widget, or nothing.
QString clipping(const QWidget *w, const QString &text)
{
    const QFontMetrics fm = w->fontMetrics();
    const auto *label = qobject_cast<const QLabel *>(w);
    if (label && label->wordWrap()) {
        const int need = label->heightForWidth(label->width());
        return need > label->height()
                   ? QStringLiteral("needs %1 px height, has %2").arg(need).arg(label->height())
                   : QString();
    }
    const QRect room = label ? label->contentsRect() : w->rect();
    int need = fm.horizontalAdvance(text);
    if (const auto *button = qobject_cast<const QAbstractButton *>(w);
        button && !qobject_cast<const QGroupBox *>(w))
        need = std::max(need, button->sizeHint().width() - 8); // the check mark or picture beside it
    const int high = qobject_cast<const QGroupBox *>(w) ? 0 : fm.height();
    if (need > room.width() || high > room.height())
        return QStringLiteral("needs %1x%2, has %3x%4")
            .arg(need)
            .arg(high)
            .arg(room.width())
            .arg(room.height());
    return QString();
}

// Whether every ancestor up to the window shows the whole widget.
bool wholeOnShow(const QWidget *w, const QWidget *window)
{
    QRect r = w->rect();
    for (const QWidget *p = w; p != window && p->parentWidget(); p = p->parentWidget()) {
        r.translate(p->pos());
        if (!p->parentWidget()->rect().contains(r))
            return false;
    }
    return true;
}

// The sibling drawn over a label's text, if any.
QWidget *coveringLabel(const QWidget *w, const QString &text)
{
    const auto *label = qobject_cast<const QLabel *>(w);
    if (!label || label->wordWrap() || !w->parentWidget())
        return nullptr;
    const QRect textRect(w->pos(),
                         QSize(std::min(w->width(), w->fontMetrics().horizontalAdvance(text)), w->height()));
    const QObjectList &siblings = w->parentWidget()->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget *>(w)) + 1; i < siblings.size(); ++i) {
        auto *above = qobject_cast<QWidget *>(siblings.at(i));
        if (above && above->isVisible() && !above->isWindow() && above->geometry().intersects(textRect))
            return above;
    }
    return nullptr;
}

// Each fault a user would meet: text in colours that do not stand apart, a style sheet with colours of its
// own, text cut off outside any scroll area.
QStringList faultsOf(QWidget *window)
{
    const QRegularExpression fixedColour(
        QStringLiteral("#[0-9a-fA-F]{3,8}|rgba?\\(|\\b(black|white|gr[ae]y|silver)\\b"));
    QStringList faults;
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *w : std::as_const(widgets)) {
        if (!w->isVisibleTo(window) || w->objectName() == u"Animate1")
            continue;
        const QString name =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        const QPalette &p = w->palette();
        for (const auto &[ink, paper] :
             {std::pair(QPalette::WindowText, QPalette::Window), std::pair(QPalette::Text, QPalette::Base),
              std::pair(QPalette::ButtonText, QPalette::Button),
              std::pair(QPalette::HighlightedText, QPalette::Highlight)}) {
            if (const double ratio = ui::contrastRatio(p.color(ink), p.color(paper)); ratio < 4.5)
                faults << QStringLiteral("%1: contrast %2 of %3 on %4")
                              .arg(name)
                              .arg(ratio, 0, 'f', 1)
                              .arg(p.color(ink).name(), p.color(paper).name());
        }
        if (w->styleSheet().contains(fixedColour))
            faults << QStringLiteral("%1: colours of its own in its style sheet").arg(name);
        const QString text = shownText(w);
        if (text.isEmpty() || inScrollArea(w))
            continue;
        if (const QString clipped = clipping(w, text); !clipped.isEmpty())
            faults << QStringLiteral("%1 \"%2\": %3").arg(name, text, clipped);
        if (const QWidget *above = coveringLabel(w, text))
            faults << QStringLiteral("%1 \"%2\": hidden in part by %3").arg(name, text, above->objectName());
        if (!wholeOnShow(w, window))
            faults << QStringLiteral("%1 \"%2\": partly beyond the edge of what holds it").arg(name, text);
    }
    return faults;
}

void expectReadable(QWidget *window, const QString &what)
{
    const QStringList faults = faultsOf(window);
    if (!faults.isEmpty())
        QTest::qFail(qPrintable(what + QStringLiteral(":\n  ") + faults.join(QStringLiteral("\n  "))),
                     __FILE__, __LINE__);
}

} // namespace

class ContrastTest : public QObject
{
    Q_OBJECT

    maindriver::DemoFolder m_folder;
    QPalette m_before;

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.setUp());
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 144.0);
        m_before = QApplication::palette();
        QApplication::setPalette(highContrast());
    }
    void cleanupTestCase() { QApplication::setPalette(m_before); }

    void everyWindowStaysReadable()
    {
        Script s;
        s.on(QStringLiteral("SLogon"), [](QWidget *w) {
            expectReadable(w, QStringLiteral("Anmeldung"));
            QTest::mouseClick(w->findChild<QAbstractButton *>(QStringLiteral("Pwchange")), Qt::LeftButton);
            driver::fill(w, QStringLiteral("Benutzer"), QStringLiteral("admin"));
            driver::fill(w, QStringLiteral("Pass"), QStringLiteral("admin"));
            driver::press(w, QStringLiteral("OKbutton"));
        });
        s.on(QStringLiteral("SPWchange"), [](QWidget *w) {
            expectReadable(w, QStringLiteral("Kennwort ändern"));
            driver::press(w, QStringLiteral("Button2"));
        });
        maindriver::chooseFile(s, m_folder.freshDemo());
        maindriver::runWith([&](TFMain *m) {
            for (int page = m->PageControl1->count() - 1; page >= 0; --page) {
                m->PageControl1->setCurrentIndex(page);
                expectReadable(m, m->PageControl1->tabText(page));
            }
            expectReadable(fGruppen, QStringLiteral("Gruppenbaum"));
            maindriver::screenshot(m, QStringLiteral("kontrast-hauptfenster.png"));

            QTest::keyClick(m, Qt::Key_R, Qt::ControlModifier);
            auto *r = m->findChild<TFRechte *>(QStringLiteral("FRechte"));
            QVERIFY(r && r->isVisible());
            for (int view = r->Views->count() - 1; view >= 0; --view) {
                r->Views->setCurrentIndex(view);
                expectReadable(r, r->Views->tabText(view));
            }
            maindriver::screenshot(r, QStringLiteral("kontrast-rechte.png"));
            r->close();

            Script anlegen;
            anlegen.on(QStringLiteral("FAnlegen"), [](QWidget *w) {
                expectReadable(w, QStringLiteral("Anlegen"));
                w->close();
            });
            m->PageControl1->setCurrentWidget(m->TabSheet2);
            QTest::mouseClick(m->ToolButton6, Qt::LeftButton);
            QVERIFY(anlegen.done());
            m->close();
        });
        QVERIFY2(s.done(), qPrintable(s.pending().join(u',')));
    }
};

SUITE_MAIN(QApplication, ContrastTest)

#include "tst_contrast.moc"
