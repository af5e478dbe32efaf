#pragma once

// A window as assistive technology sees it through Qt's accessibility interface: the controls on show that
// a user can reach or press, and what is wrong with how they are named.

#include <QAccessible>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QStringList>

namespace a11ywalk {

inline QString nameOf(QAccessibleInterface *i)
{
    return i->text(QAccessible::Name).trimmed();
}

// Here a combo box's name is its current text; its label comes through the label relation.
inline QString spokenName(QAccessibleInterface *i)
{
    for (const auto &[label, kind] : i->relations(QAccessible::Label)) {
        if (i->role() == QAccessible::ComboBox && qobject_cast<QLabel *>(label->object()))
            return nameOf(label);
    }
    return nameOf(i);
}

// Lists, trees, combo boxes and tab bars count as one control each: their items are named by their texts.
inline void collect(QAccessibleInterface *at, QList<QAccessibleInterface *> &controls,
                    QList<QAccessibleInterface *> &labels)
{
    using R = QAccessible::Role;
    for (int k = 0; k < at->childCount(); ++k) {
        QAccessibleInterface *i = at->child(k);
        if (!i || i->state().invisible)
            continue;
        const R role = i->role();
        if (i->state().focusable || role == R::PushButton || role == R::CheckBox || role == R::RadioButton)
            controls << i;
        else if (qobject_cast<QLabel *>(i->object()) && !nameOf(i).isEmpty())
            labels << i;
        if (!QList<R>{R::Table, R::Tree, R::List, R::ComboBox, R::PageTabList, R::SpinBox}.contains(role))
            collect(i, controls, labels);
    }
}

// Controls without a name, names two controls share, edits whose label (the nearest on their line to their
// left) is not tied to them. Empty when all is well.
inline QStringList problems(QWidget *window)
{
    QList<QAccessibleInterface *> controls, labels;
    collect(QAccessible::queryAccessibleInterface(window), controls, labels);
    QStringList found;
    QHash<QString, QString> seen;
    for (QAccessibleInterface *c : controls) {
        QString name = spokenName(c);
        const QObject *o = c->object();
        // Qt names a control of a group box that has no name of its own by the box's title.
        if (const auto *box = o ? qobject_cast<const QGroupBox *>(o->parent()) : nullptr;
            box && QString(box->title()).remove(u'&') == name)
            name.clear();
        const QString who = o && !o->objectName().isEmpty() ? o->objectName() : QString::number(c->role());
        if (name.isEmpty())
            found << who + QStringLiteral(": no name");
        else if (seen.contains(name))
            found << QStringLiteral("%1 and %2: both \"%3\"").arg(seen[name], who, name);
        seen.insert(name, who);
        if (c->role() != QAccessible::EditableText && c->role() != QAccessible::ComboBox &&
            c->role() != QAccessible::SpinBox)
            continue;
        const QRect e = c->rect();
        QAccessibleInterface *beside = nullptr;
        for (QAccessibleInterface *l : labels) {
            const QRect r = l->rect();
            if (r.center().y() >= e.top() && r.center().y() <= e.bottom() && r.right() <= e.left() &&
                e.left() - r.right() <= 40 && (!beside || r.right() > beside->rect().right()))
                beside = l;
        }
        bool tied = !beside;
        for (const auto &[label, kind] : c->relations(QAccessible::Label))
            tied = tied || label->object() == beside->object();
        if (!tied)
            found << QStringLiteral("%1: label \"%2\" not tied").arg(who, nameOf(beside));
    }
    return found;
}

} // namespace a11ywalk
