#include "GroupTree.h"

#include "Connection.h"
#include "Query.h"
#include "Schema.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace grouptree {

std::vector<Member> readLevel(store::Connection &db, qint32 groupId)
{
    // Named, so that an error of the query itself says which one it was.
    store::Query level(db, QStringLiteral("Ebene"), schema::treeLevel(groupId));
    const int title = level.field(schema::funktionen::kTitel);
    const int id = level.field(schema::funktionen::kId);
    std::vector<Member> members;
    while (level.next())
        members.push_back(Member{level.asString(title), level.asInteger(id)});
    return members;
}

namespace {

// A group as a level statement's bound integer would match it: a whole number that fits, else none.
std::optional<qint32> groupOf(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double: {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok || number != std::floor(number) || number < std::numeric_limits<qint32>::min() ||
            number > std::numeric_limits<qint32>::max())
            return std::nullopt;
        return static_cast<qint32>(number);
    }
    default:
        return std::nullopt;
    }
}

} // namespace

Levels Levels::read(store::Connection &db)
{
    store::Query whole(db, QStringLiteral("Ebene"), schema::treeWhole());
    const int title = whole.field(schema::funktionen::kTitel);
    const int id = whole.field(schema::funktionen::kId);
    const int group = whole.field(schema::funktionen::kInGruppe);
    std::vector<std::pair<qint32, Member>> rows;
    while (whole.next()) {
        if (const std::optional<qint32> g = groupOf(whole.value(group)))
            rows.emplace_back(*g, Member{whole.asString(title), whole.asInteger(id)});
    }
    // The statement gives each group's rows together already; stable, so that a group's order stays
    // whatever its values' types sorted like.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    Levels levels;
    levels.m_members.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i == 0 || rows[i].first != rows[i - 1].first)
            levels.m_groups.emplace(rows[i].first, std::pair{i, i});
        ++levels.m_groups[rows[i].first].second;
        levels.m_members.push_back(std::move(rows[i].second));
    }
    return levels;
}

std::span<const Member> Levels::of(qint32 groupId) const
{
    const auto found = m_groups.find(groupId);
    if (found == m_groups.end())
        return {};
    return std::span<const Member>(m_members).subspan(found->second.first,
                                                      found->second.second - found->second.first);
}

bool holds(store::Connection &db, qint32 groupId)
{
    if (groupId == kRootId)
        return true;
    return store::Query(db, QStringLiteral("Ebene"), schema::functionHeld(groupId)).next();
}

} // namespace grouptree
