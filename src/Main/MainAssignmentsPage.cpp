// The main window's third page, of the assignments (user, group, title). It has no handlers of its own: its
// grid, with the options every grid starts with, shows a query that nothing opens. Not to be confused with
// the window "Rechte-Übersicht", which MainRechteWindow.cpp opens.

#include "Accessible.h"
#include "DBGrid.h"
#include "Main.h"
#include "Schema.h"

#include <QVBoxLayout>

void TFMain::buildRightsPage()
{
    auto *page = new QVBoxLayout(TabSheet3);
    page->setContentsMargins(0, 0, 0, 0);
    DBGrid5 = new ui::DBGrid(TabSheet3);
    DBGrid5->setObjectName(QStringLiteral("DBGrid5"));
    DBGrid5->setDataSource(Qrechte1);
    std::vector<ui::GridColumn> columns;
    for (const store::FieldDef &field : schema::rightsOverviewFields())
        columns.push_back({field.name, QString(), 120});
    DBGrid5->setColumns(columns);
    page->addWidget(DBGrid5);
    ui::nameRows(DBGrid5, QStringLiteral("Liste der Zuordnungen"));
}
