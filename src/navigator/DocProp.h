#pragma once

#include "repository/Items.h"
#include "repository/ReportDefinitionItem.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The document-properties control: edits a report's whole definition (report row, data source
// and view, worksheet settings, columns, macros used). frmRepProp hosts it as DocProp1.
class DocProp : public QWidget {
    Q_OBJECT
public:
    explicit DocProp(QWidget *parent = nullptr);

    // Asked before a save would overwrite a change made since the report was loaded.
    static const QString ReportChangedText;

    // The five operations the hosting window uses.
    void SetCompany(int companyId) { m_companyId = companyId; }
    // Loads the report's definition; failures pass on to the caller.
    void LoadReport(int reportId, const QString &name, const QString &checkOutText);
    // Writes the definition when the boxes are valid; failures pass on to the caller.
    void Save();
    ReportItem SavedReport() const { return m_saved; }
    bool WasSaved() const { return m_wasSaved; }

    bool IsReadOnly() const { return m_readOnly; }
    // The definition as the boxes show it now.
    ReportDefinitionItem Definition() const;

    QTabWidget *tabDoc;
    // General
    QLineEdit *txtName;
    QLineEdit *txtFilePath;
    QComboBox *cmbVersion;
    QPlainTextEdit *txtDescription;
    QCheckBox *chkDestinationFileAtRuntime;
    QCheckBox *chkDelExSheet;
    QCheckBox *chkShowDeleted;
    QLabel *lblCheckOut;
    QLabel *lblModified;
    // Data source
    QComboBox *cmbDataSource;
    QPlainTextEdit *txtSQLView;
    // Worksheet
    QLineEdit *txtSheetName;
    QLineEdit *txtReportTitle;
    QLineEdit *txtFontName;
    QDoubleSpinBox *txtFontSize;
    QCheckBox *chkShowGridLines;
    QCheckBox *chkShowToolTips;
    QCheckBox *chkShowAutoFilters;
    QLineEdit *txtFreezPanel;
    QLineEdit *txtGroupCols;
    // Columns
    QTreeWidget *lstCols;
    QLineEdit *txtColName;
    QComboBox *cmbColType;
    QSpinBox *txtColWidth;
    QCheckBox *chkColHide;
    QCheckBox *chkColAutoSum;
    QPushButton *cmdAddCol;
    QPushButton *cmdRemoveCol;
    QPushButton *cmdColUp;
    QPushButton *cmdColDown;
    // Macros
    QTreeWidget *lstMacros;

public Q_SLOTS:
    void cmdAddCol_Click();
    void cmdRemoveCol_Click();
    void cmdColUp_Click();
    void cmdColDown_Click();

private:
    void lstCols_ItemChanged(QTreeWidgetItem *current);
    void ColumnEditorChanged();
    void SetColumnRow(QTreeWidgetItem *item, const ReportColumnDefinition &c);
    ReportColumnDefinition ColumnOfRow(const QTreeWidgetItem *item) const;
    void MoveColumn(int delta);
    int ColumnTypeIndex(int type); // adds an entry for a code the list does not name
    void Clear();
    void SetReadOnly(bool readOnly);

    int m_companyId = 0;
    bool m_readOnly = false;
    bool m_wasSaved = false;
    bool m_filling = false;
    ReportItem m_saved;
    ReportDefinitionItem m_loaded;
    QList<int> m_unlistedMacros; // referenced macros missing from the library: kept as they are
};
