#include "DocProp.h"

#include "repository/NameRule.h"
#include "repository/RepositorySession.h"
#include "shell/AppState.h"
#include "shell/ItemData.h"
#include "shell/Prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
template <typename T>
T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

const QString Yes = QStringLiteral("Yes");

enum ColColumn { ColName, ColType, ColWidth, ColHide, ColAutoSum };
} // namespace

const QString DocProp::ReportChangedText =
    QStringLiteral("The report was changed in the repository since this window loaded it.\rOverwrite those changes with yours?");

DocProp::DocProp(QWidget *parent) : QWidget(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    tabDoc = named(new QTabWidget(this), "tabDoc");
    outer->addWidget(tabDoc);

    // General
    auto *general = new QWidget(tabDoc);
    auto *gf = new QFormLayout(general);
    txtName = named(new QLineEdit(general), "txtName");
    txtFilePath = named(new QLineEdit(general), "txtFilePath");
    cmbVersion = named(new QComboBox(general), "cmbVersion");
    cmbVersion->setEditable(true);
    cmbVersion->setInsertPolicy(QComboBox::NoInsert);
    cmbVersion->addItems({QStringLiteral("Velmora"), QStringLiteral("Excel"), QStringLiteral("Text")});
    txtDescription = named(new QPlainTextEdit(general), "txtDescription");
    chkDestinationFileAtRuntime = named(new QCheckBox(QStringLiteral("Ask for the destination file at run time"), general),
                                        "chkDestinationFileAtRuntime");
    chkDelExSheet = named(new QCheckBox(QStringLiteral("Delete the existing sheet"), general), "chkDelExSheet");
    chkShowDeleted = named(new QCheckBox(QStringLiteral("Show deleted"), general), "chkShowDeleted");
    lblCheckOut = named(new QLabel(general), "lblCheckOut");
    lblModified = named(new QLabel(general), "lblModified");
    gf->addRow(QStringLiteral("Name :"), txtName);
    gf->addRow(QStringLiteral("Destination file :"), txtFilePath);
    gf->addRow(QStringLiteral("Type :"), cmbVersion);
    gf->addRow(QStringLiteral("Description :"), txtDescription);
    gf->addRow(QString(), chkDestinationFileAtRuntime);
    gf->addRow(QString(), chkDelExSheet);
    gf->addRow(QString(), chkShowDeleted);
    gf->addRow(QStringLiteral("Check Out :"), lblCheckOut);
    gf->addRow(QStringLiteral("Modified :"), lblModified);
    tabDoc->addTab(general, QStringLiteral("General"));

    // Data source
    auto *source = new QWidget(tabDoc);
    auto *sf = new QFormLayout(source);
    cmbDataSource = named(new QComboBox(source), "cmbDataSource");
    txtSQLView = named(new QPlainTextEdit(source), "txtSQLView");
    txtSQLView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtSQLView->setLineWrapMode(QPlainTextEdit::NoWrap);
    sf->addRow(QStringLiteral("Data source :"), cmbDataSource);
    sf->addRow(QStringLiteral("SQL :"), txtSQLView);
    tabDoc->addTab(source, QStringLiteral("Data source"));

    // Worksheet
    auto *sheet = new QWidget(tabDoc);
    auto *wf = new QFormLayout(sheet);
    txtSheetName = named(new QLineEdit(sheet), "txtSheetName");
    txtReportTitle = named(new QLineEdit(sheet), "txtReportTitle");
    txtFontName = named(new QLineEdit(sheet), "txtFontName");
    txtFontSize = named(new QDoubleSpinBox(sheet), "txtFontSize");
    txtFontSize->setRange(0, 409);
    txtFontSize->setSpecialValueText(QStringLiteral("Default")); // 0: the workbook's own size
    txtFontSize->setDecimals(1);
    chkShowGridLines = named(new QCheckBox(QStringLiteral("Grid lines"), sheet), "chkShowGridLines");
    chkShowToolTips = named(new QCheckBox(QStringLiteral("Tool tips"), sheet), "chkShowToolTips");
    chkShowAutoFilters = named(new QCheckBox(QStringLiteral("Auto filters"), sheet), "chkShowAutoFilters");
    txtFreezPanel = named(new QLineEdit(sheet), "txtFreezPanel");
    txtFreezPanel->setPlaceholderText(QStringLiteral("a cell such as B3, or 1 to freeze below the header"));
    txtGroupCols = named(new QLineEdit(sheet), "txtGroupCols");
    wf->addRow(QStringLiteral("Sheet name :"), txtSheetName);
    wf->addRow(QStringLiteral("Title :"), txtReportTitle);
    wf->addRow(QStringLiteral("Font :"), txtFontName);
    wf->addRow(QStringLiteral("Font size :"), txtFontSize);
    wf->addRow(QString(), chkShowGridLines);
    wf->addRow(QString(), chkShowToolTips);
    wf->addRow(QString(), chkShowAutoFilters);
    wf->addRow(QStringLiteral("Frozen panes :"), txtFreezPanel);
    wf->addRow(QStringLiteral("Column grouping :"), txtGroupCols);
    tabDoc->addTab(sheet, QStringLiteral("Worksheet"));

    // Columns
    auto *columns = new QWidget(tabDoc);
    auto *cg = new QGridLayout(columns);
    lstCols = named(new QTreeWidget(columns), "lstCols");
    lstCols->setRootIsDecorated(false);
    lstCols->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Width"),
                              QStringLiteral("Hidden"), QStringLiteral("Total")});
    lstCols->header()->setStretchLastSection(false);
    lstCols->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstCols->header()->setSectionResizeMode(ColName, QHeaderView::Stretch);
    cmdAddCol = named(new QPushButton(QStringLiteral("&Add"), columns), "cmdAddCol");
    cmdRemoveCol = named(new QPushButton(QStringLiteral("&Remove"), columns), "cmdRemoveCol");
    cmdColUp = named(new QPushButton(QStringLiteral("&Up"), columns), "cmdColUp");
    cmdColDown = named(new QPushButton(QStringLiteral("Do&wn"), columns), "cmdColDown");
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {cmdAddCol, cmdRemoveCol, cmdColUp, cmdColDown}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto *editor = new QFormLayout;
    txtColName = named(new QLineEdit(columns), "txtColName");
    cmbColType = named(new QComboBox(columns), "cmbColType");
    cmbColType->addItem(QStringLiteral("Auto"), 0);
    cmbColType->addItem(QStringLiteral("Text"), 1);
    cmbColType->addItem(QStringLiteral("Number"), 2);
    cmbColType->addItem(QStringLiteral("Date"), 3);
    txtColWidth = named(new QSpinBox(columns), "txtColWidth");
    txtColWidth->setRange(0, INT_MAX);
    chkColHide = named(new QCheckBox(QStringLiteral("Hidden"), columns), "chkColHide");
    chkColAutoSum = named(new QCheckBox(QStringLiteral("Total"), columns), "chkColAutoSum");
    editor->addRow(QStringLiteral("Column name :"), txtColName);
    editor->addRow(QStringLiteral("Type :"), cmbColType);
    editor->addRow(QStringLiteral("Width :"), txtColWidth);
    auto *flags = new QHBoxLayout;
    flags->addWidget(chkColHide);
    flags->addWidget(chkColAutoSum);
    flags->addStretch();
    editor->addRow(QString(), flags);
    cg->addWidget(lstCols, 0, 0);
    cg->addLayout(buttons, 0, 1);
    cg->addLayout(editor, 1, 0, 1, 2);
    tabDoc->addTab(columns, QStringLiteral("Columns"));

    // Macros
    auto *macros = new QWidget(tabDoc);
    auto *ml = new QVBoxLayout(macros);
    lstMacros = named(new QTreeWidget(macros), "lstMacros");
    lstMacros->setRootIsDecorated(false);
    lstMacros->setHeaderLabels({QStringLiteral("Macros used by the report")});
    ml->addWidget(lstMacros);
    tabDoc->addTab(macros, QStringLiteral("Macros"));

    connect(cmdAddCol, &QPushButton::clicked, this, &DocProp::cmdAddCol_Click);
    connect(cmdRemoveCol, &QPushButton::clicked, this, &DocProp::cmdRemoveCol_Click);
    connect(cmdColUp, &QPushButton::clicked, this, &DocProp::cmdColUp_Click);
    connect(cmdColDown, &QPushButton::clicked, this, &DocProp::cmdColDown_Click);
    connect(lstCols, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *) { lstCols_ItemChanged(current); });
    connect(txtColName, &QLineEdit::textEdited, this, &DocProp::ColumnEditorChanged);
    connect(cmbColType, &QComboBox::currentIndexChanged, this, &DocProp::ColumnEditorChanged);
    connect(txtColWidth, &QSpinBox::valueChanged, this, &DocProp::ColumnEditorChanged);
    connect(chkColHide, &QCheckBox::toggled, this, &DocProp::ColumnEditorChanged);
    connect(chkColAutoSum, &QCheckBox::toggled, this, &DocProp::ColumnEditorChanged);
    lstCols_ItemChanged(nullptr);
}

void DocProp::Clear()
{
    m_filling = true;
    m_loaded = ReportDefinitionItem();
    m_unlistedMacros.clear();
    m_wasSaved = false;
    m_saved = ReportItem();
    for (QLineEdit *e : findChildren<QLineEdit *>())
        e->clear();
    for (QPlainTextEdit *e : findChildren<QPlainTextEdit *>())
        e->clear();
    for (QCheckBox *c : findChildren<QCheckBox *>())
        c->setChecked(false);
    cmbDataSource->clear();
    txtFontSize->setValue(8);
    lstCols->clear();
    lstMacros->clear();
    lblCheckOut->clear();
    lblModified->clear();
    m_filling = false;
    lstCols_ItemChanged(nullptr);
}

void DocProp::LoadReport(int reportId, const QString &name, const QString &checkOutText)
{
    Clear();
    SetReadOnly(false);
    RepositorySession &session = App::session();
    const ReportDefinitionItem d = session.GetReportDefinition(reportId);
    const bool heldByOther = session.IsCheckedOutByOther(reportId);
    m_loaded = d;
    m_filling = true;

    txtName->setText(d.Name.isEmpty() ? name : d.Name);
    txtFilePath->setText(d.FilePath);
    cmbVersion->setCurrentText(d.Version);
    txtDescription->setPlainText(d.Description);
    chkDestinationFileAtRuntime->setChecked(d.DestinationFileAtRuntime);
    chkDelExSheet->setChecked(d.DelExSheet);
    chkShowDeleted->setChecked(d.ShowDeleted);
    lblCheckOut->setText(checkOutText);
    lblModified->setText(ItemData::dateText(d.Modified));

    ItemData::addComboItem(cmbDataSource, QStringLiteral("k0"), QStringLiteral("(none)"), 0);
    for (const auto &[id, dsName] : session.GetReportDataSourceChoices())
        ItemData::addComboItem(cmbDataSource, QStringLiteral("k") + QString::number(id), dsName, id);
    int index = ItemData::findComboKey(cmbDataSource, QStringLiteral("k") + QString::number(d.IdDataSource));
    if (index < 0) {
        // A link to a data source that no longer exists stays as it is until the user picks another.
        ItemData::addComboItem(cmbDataSource, QStringLiteral("k") + QString::number(d.IdDataSource),
                               QStringLiteral("(missing data source %1)").arg(d.IdDataSource), d.IdDataSource);
        index = cmbDataSource->count() - 1;
    }
    cmbDataSource->setCurrentIndex(index);
    txtSQLView->setPlainText(d.SQLView);

    txtSheetName->setText(d.SheetName);
    txtReportTitle->setText(d.ReportTitle);
    txtFontName->setText(d.FontName);
    txtFontSize->setValue(d.FontSize);
    chkShowGridLines->setChecked(ReportDefinitionItem::SettingIsOn(d.ShowGridLines, true));
    chkShowToolTips->setChecked(ReportDefinitionItem::SettingIsOn(d.ShowToolTips, false));
    chkShowAutoFilters->setChecked(ReportDefinitionItem::SettingIsOn(d.ShowAutoFilters, false));
    txtFreezPanel->setText(d.FreezPanel);
    txtGroupCols->setText(d.GroupCols);

    for (const ReportColumnDefinition &c : d.Columns)
        SetColumnRow(new QTreeWidgetItem(lstCols), c);

    const QSet<int> used(d.MacroIds.cbegin(), d.MacroIds.cend());
    QSet<int> listed;
    for (const QString &entry : session.GetMacroList(0)) {
        const int cut = entry.indexOf(IdNameSeparator);
        const int id = entry.left(cut).toInt();
        auto *item = new QTreeWidgetItem(lstMacros, {entry.mid(cut + IdNameSeparator.size())});
        ItemData::setKey(item, QStringLiteral("k") + QString::number(id));
        ItemData::setTag(item, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, used.contains(id) ? Qt::Checked : Qt::Unchecked);
        listed.insert(id);
    }
    for (int id : d.MacroIds)
        if (!listed.contains(id))
            m_unlistedMacros.append(id);

    m_filling = false;
    if (lstCols->topLevelItemCount() > 0)
        lstCols->setCurrentItem(lstCols->topLevelItem(0));
    lstCols_ItemChanged(lstCols->currentItem());
    SetReadOnly(heldByOther);
}

ReportDefinitionItem DocProp::Definition() const
{
    ReportDefinitionItem d = m_loaded;
    d.Name = txtName->text();
    d.FilePath = txtFilePath->text();
    d.Version = cmbVersion->currentText();
    d.Description = txtDescription->toPlainText();
    d.DestinationFileAtRuntime = chkDestinationFileAtRuntime->isChecked();
    d.DelExSheet = chkDelExSheet->isChecked();
    d.ShowDeleted = chkShowDeleted->isChecked();
    d.IdDataSource = cmbDataSource->currentIndex() < 0 ? 0 : cmbDataSource->currentData(ItemData::TagRole).toInt();
    d.SQLView = txtSQLView->toPlainText();
    d.SheetName = txtSheetName->text();
    d.ReportTitle = txtReportTitle->text();
    d.FontName = txtFontName->text();
    d.FontSize = txtFontSize->value();
    d.ShowGridLines = ReportDefinitionItem::SettingText(chkShowGridLines->isChecked(), m_loaded.ShowGridLines, true);
    d.ShowToolTips = ReportDefinitionItem::SettingText(chkShowToolTips->isChecked(), m_loaded.ShowToolTips, false);
    d.ShowAutoFilters = ReportDefinitionItem::SettingText(chkShowAutoFilters->isChecked(), m_loaded.ShowAutoFilters, false);
    d.FreezPanel = txtFreezPanel->text();
    d.GroupCols = txtGroupCols->text();
    d.Columns.clear();
    for (int i = 0; i < lstCols->topLevelItemCount(); ++i)
        d.Columns.append(ColumnOfRow(lstCols->topLevelItem(i)));
    // Macros keep the order they were referenced in; newly ticked ones follow in list order.
    QSet<int> ticked;
    QList<int> tickedInList;
    for (int i = 0; i < lstMacros->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lstMacros->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked) {
            const int id = ItemData::tag(item).toInt();
            ticked.insert(id);
            tickedInList.append(id);
        }
    }
    const QSet<int> unlisted(m_unlistedMacros.cbegin(), m_unlistedMacros.cend());
    d.MacroIds.clear();
    for (int id : m_loaded.MacroIds)
        if (ticked.contains(id) || unlisted.contains(id))
            d.MacroIds.append(id);
    for (int id : tickedInList)
        if (!d.MacroIds.contains(id))
            d.MacroIds.append(id);
    return d;
}

void DocProp::Save()
{
    m_wasSaved = false;
    if (m_readOnly || m_loaded.IdReport <= 0)
        return;
    ReportDefinitionItem d = Definition();
    if (d.Name.trimmed().isEmpty()) {
        tabDoc->setCurrentIndex(0);
        txtName->setFocus();
        prompter().message(QStringLiteral("Enter the report name!"), AppTitle, Prompter::Icon::Exclamation);
        return;
    }
    RepositorySession &session = App::session();
    if (d.Name != m_loaded.Name && session.ReportNameExists(d.Name, d.IdCateg, d.IdReport)) {
        tabDoc->setCurrentIndex(0);
        txtName->setFocus();
        prompter().message(NameRule::reportTakenText(), AppTitle, Prompter::Icon::Exclamation);
        return;
    }
    // Saving needs no check-out: another administrator may have saved the report meanwhile.
    if (session.ReportChangedSince(d.IdReport, m_loaded.Modified)
        && prompter().message(ReportChangedText, QStringLiteral("Confirmation"), Prompter::Icon::Question,
                              Prompter::Buttons::YesNo)
               != Prompter::Answer::Yes)
        return;
    session.SaveReportDefinition(d);
    m_loaded = d;
    m_saved = session.GetReport(d.IdReport);
    m_wasSaved = true;
    lblModified->setText(ItemData::dateText(d.Modified));
}

void DocProp::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    // Texts stay selectable and scrollable; everything that would change the definition is off.
    for (QLineEdit *e : findChildren<QLineEdit *>())
        e->setReadOnly(readOnly);
    for (QPlainTextEdit *e : findChildren<QPlainTextEdit *>())
        e->setReadOnly(readOnly);
    for (QAbstractSpinBox *e : findChildren<QAbstractSpinBox *>())
        e->setReadOnly(readOnly);
    for (QWidget *w : std::initializer_list<QWidget *>{cmbVersion, cmbDataSource, chkDestinationFileAtRuntime,
                                                        chkDelExSheet, chkShowDeleted, chkShowGridLines,
                                                        chkShowToolTips, chkShowAutoFilters, cmbColType, chkColHide,
                                                        chkColAutoSum, cmdAddCol, cmdRemoveCol, cmdColUp, cmdColDown})
        w->setEnabled(!readOnly);
    for (int i = 0; i < lstMacros->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lstMacros->topLevelItem(i);
        item->setFlags(readOnly ? item->flags() & ~Qt::ItemIsUserCheckable : item->flags() | Qt::ItemIsUserCheckable);
    }
    if (!readOnly)
        lstCols_ItemChanged(lstCols->currentItem());
}

void DocProp::SetColumnRow(QTreeWidgetItem *item, const ReportColumnDefinition &c)
{
    item->setText(ColName, c.Name);
    item->setText(ColType, cmbColType->itemText(ColumnTypeIndex(c.Type)));
    item->setData(ColType, Qt::UserRole, c.Type);
    item->setText(ColWidth, QString::number(c.Width));
    item->setText(ColHide, c.Hide ? Yes : QString());
    item->setText(ColAutoSum, c.AutoSum ? Yes : QString());
}

ReportColumnDefinition DocProp::ColumnOfRow(const QTreeWidgetItem *item) const
{
    ReportColumnDefinition c;
    c.Name = item->text(ColName);
    c.Type = item->data(ColType, Qt::UserRole).toInt();
    c.Width = item->text(ColWidth).toInt();
    c.Hide = item->text(ColHide) == Yes;
    c.AutoSum = item->text(ColAutoSum) == Yes;
    return c;
}

void DocProp::lstCols_ItemChanged(QTreeWidgetItem *current)
{
    const bool had = m_filling;
    m_filling = true;
    const ReportColumnDefinition c = current ? ColumnOfRow(current) : ReportColumnDefinition();
    txtColName->setText(c.Name);
    cmbColType->setCurrentIndex(ColumnTypeIndex(c.Type));
    txtColWidth->setValue(c.Width);
    chkColHide->setChecked(c.Hide);
    chkColAutoSum->setChecked(c.AutoSum);
    m_filling = had;
    const bool editable = current && !m_readOnly;
    for (QWidget *w : std::initializer_list<QWidget *>{txtColName, cmbColType, txtColWidth, chkColHide, chkColAutoSum,
                                                        cmdRemoveCol})
        w->setEnabled(editable);
    const int row = current ? lstCols->indexOfTopLevelItem(current) : -1;
    cmdColUp->setEnabled(editable && row > 0);
    cmdColDown->setEnabled(editable && row >= 0 && row < lstCols->topLevelItemCount() - 1);
    cmdAddCol->setEnabled(!m_readOnly);
}

void DocProp::ColumnEditorChanged()
{
    QTreeWidgetItem *item = lstCols->currentItem();
    if (m_filling || m_readOnly || !item)
        return;
    ReportColumnDefinition c;
    c.Name = txtColName->text();
    c.Type = cmbColType->currentData().toInt();
    c.Width = txtColWidth->value();
    c.Hide = chkColHide->isChecked();
    c.AutoSum = chkColAutoSum->isChecked();
    SetColumnRow(item, c);
}

int DocProp::ColumnTypeIndex(int type)
{
    const int index = cmbColType->findData(type);
    if (index >= 0)
        return index;
    const bool had = m_filling;
    m_filling = true;
    cmbColType->addItem(QStringLiteral("Code %1").arg(type), type);
    m_filling = had;
    return cmbColType->count() - 1;
}

void DocProp::cmdAddCol_Click()
{
    if (m_readOnly)
        return;
    ReportColumnDefinition c;
    c.Name = QStringLiteral("Column%1").arg(lstCols->topLevelItemCount() + 1);
    c.Width = 10;
    QTreeWidgetItem *current = lstCols->currentItem();
    auto *item = new QTreeWidgetItem;
    SetColumnRow(item, c);
    // A new column goes after the selected one, or last.
    const int at = current ? lstCols->indexOfTopLevelItem(current) + 1 : lstCols->topLevelItemCount();
    lstCols->insertTopLevelItem(at, item);
    lstCols->setCurrentItem(item);
    txtColName->setFocus();
    txtColName->selectAll();
}

void DocProp::cmdRemoveCol_Click()
{
    QTreeWidgetItem *item = lstCols->currentItem();
    if (m_readOnly || !item)
        return;
    const int row = lstCols->indexOfTopLevelItem(item);
    delete item;
    const int count = lstCols->topLevelItemCount();
    if (count > 0)
        lstCols->setCurrentItem(lstCols->topLevelItem(qMin(row, count - 1)));
    lstCols_ItemChanged(lstCols->currentItem());
}

void DocProp::MoveColumn(int delta)
{
    QTreeWidgetItem *item = lstCols->currentItem();
    if (m_readOnly || !item)
        return;
    const int row = lstCols->indexOfTopLevelItem(item);
    const int to = row + delta;
    if (to < 0 || to >= lstCols->topLevelItemCount())
        return;
    lstCols->takeTopLevelItem(row);
    lstCols->insertTopLevelItem(to, item);
    lstCols->setCurrentItem(item);
    lstCols_ItemChanged(item);
}

void DocProp::cmdColUp_Click() { MoveColumn(-1); }
void DocProp::cmdColDown_Click() { MoveColumn(1); }
