#include "frmImportPreview.h"
#include "shell/Controls.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QTreeWidgetItem *group(QTreeWidget *tree, const QString &title, int count, const QString &detail = {})
{
    auto *node = new QTreeWidgetItem(tree);
    node->setText(0, QStringLiteral("%1 (%2)").arg(title).arg(count) + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail));
    node->setFirstColumnSpanned(true);
    node->setExpanded(true);
    return node;
}

QString reportDestination(const ImportPlan::Report &r)
{
    if (r.action == QLatin1String("add"))
        return QStringLiteral("category %1").arg(r.destinationCategory)
            + (r.folder.isEmpty() ? QString() : QStringLiteral(", folder ") + r.folder);
    return r.destinationId ? QStringLiteral("report %1").arg(r.destinationId) : QString();
}

} // namespace

frmImportPreview::frmImportPreview(const ImportPlan &plan, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmImportPreview"));
    setWindowTitle(QStringLiteral("Import preview"));
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);
    twPlan = new QTreeWidget(this);
    twPlan->setObjectName(QStringLiteral("twPlan"));
    twPlan->setColumnCount(4);
    twPlan->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Action"), QStringLiteral("Destination"),
                             QStringLiteral("Warnings")});
    cmdImport = NamedButton(this, "cmdImport", QStringLiteral("&Import"), false);
    cmdBack = NamedButton(this, "cmdBack", QStringLiteral("&Back"), false);

    const int added = plan.count(QStringLiteral("add")), overwritten = plan.count(QStringLiteral("overwrite")),
              refused = plan.count(QStringLiteral("refused"));
    if (plan.refused()) {
        QTreeWidgetItem *problems = group(twPlan, QStringLiteral("Problems"), int(plan.problems.size()));
        for (const QString &p : plan.problems) {
            auto *row = new QTreeWidgetItem(problems, {p});
            row->setFirstColumnSpanned(true);
        }
    }
    QTreeWidgetItem *reports = group(twPlan, QStringLiteral("Reports"), int(plan.reports.size()),
                                     QStringLiteral("%1 added, %2 overwritten, %3 refused").arg(added).arg(overwritten).arg(refused));
    for (const ImportPlan::Report &r : plan.reports) {
        QStringList warnings = r.warnings;
        if (!r.reason.isEmpty())
            warnings.prepend(r.reason);
        new QTreeWidgetItem(reports, {r.name, r.action, reportDestination(r), warnings.join(QStringLiteral("; "))});
    }
    for (const auto &[title, items] :
         {std::pair{"Data sources", &plan.dataSources}, {"Variables", &plan.variables}, {"Macro categories", &plan.macroCategories},
          {"Macros", &plan.macros}, {"Roles", &plan.roles}, {"Applications", &plan.applications}, {"Users", &plan.users}}) {
        if (items->isEmpty())
            continue;
        int reused = 0;
        for (const ImportPlan::Item &i : *items)
            reused += i.action == QLatin1String("reuse");
        QTreeWidgetItem *node = group(twPlan, QLatin1String(title), int(items->size()),
                                      QStringLiteral("%1 added, %2 reused").arg(items->size() - reused).arg(reused));
        for (const ImportPlan::Item &i : *items)
            new QTreeWidgetItem(node, {i.name, i.action, i.destinationId ? QString::number(i.destinationId) : QString(), i.note});
    }
    twPlan->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    lblSummary->setText(plan.refused()
                            ? QStringLiteral("The import would be refused: %1 problem(s).").arg(plan.problems.size())
                            : QStringLiteral("%1 report(s) added, %2 overwritten, %3 refused.").arg(added).arg(overwritten).arg(refused));
    cmdImport->setEnabled(!plan.refused());

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdBack);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblSummary);
    layout->addWidget(twPlan, 1);
    layout->addLayout(buttons);
    resize(680, 480);

    connect(cmdImport, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdBack, &QPushButton::clicked, this, &QDialog::reject);
}
