#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

// A variable (parameter) of a report's data source, as the engine asks it.
struct ReportVariable {
    enum Type { String = 1, Numeric = 2, Date = 3 };
    int id = 0;
    QString name;
    int type = String;
    QString caption;      // the label shown; the name when the caption is empty
    QString defaultValue;
    QString lookupSql;    // empty: free input
    QList<int> dependsOn; // ids of the variables asked before this one

    QString label() const { return caption.isEmpty() ? name : caption; }
};

// One entry of a lookup list: the value bound into the query and the text shown.
struct LookupChoice {
    QString value;
    QString text;
};

// Asks what only the person running a report can tell. The console implements it with dialogs,
// the command-line tool with fixed values; the engine never shows anything itself.
class ReportParameterPrompter {
public:
    virtual ~ReportParameterPrompter() = default;

    // Asks one variable. `value` holds the default (or the refused answer) on entry and the answer
    // on return; `choices` is the lookup list (empty for free input); `problem` says why the last
    // answer was refused (empty on the first ask). Returns false when the person cancelled.
    virtual bool askVariable(const ReportVariable &variable, const QList<LookupChoice> &choices,
                             QString &value, const QString &problem) = 0;
    // The destination of a report whose file is chosen at run time; empty when cancelled.
    virtual QString askDestinationFile(const QString &suggestedPath) = 0;
    // Opens a written file with the desktop's default application.
    virtual void openDocument(const QString &path) = 0;
    // Whether lookup lists are run to offer choices (a person picks; a scheduler does not).
    virtual bool wantsLookups() const { return true; }
};

// Answers from given values (by variable name, case-insensitive), else the default; a variable
// with neither is an error that names it. Nothing is opened; no file is asked.
class FixedParameterValues : public ReportParameterPrompter {
public:
    FixedParameterValues() = default;
    explicit FixedParameterValues(const QMap<QString, QString> &values);

    bool askVariable(const ReportVariable &variable, const QList<LookupChoice> &choices, QString &value,
                     const QString &problem) override;
    QString askDestinationFile(const QString &suggestedPath) override;
    void openDocument(const QString &path) override;
    bool wantsLookups() const override { return false; }

private:
    QMap<QString, QString> m_values; // keys lower-cased
};

// Turns the text of an answer into the value bound for the variable's type: a number for
// Numeric, a date for Date, the text itself for String; an empty answer of a typed variable is
// bound as null. Returns false with a problem text when the answer does not fit the type.
bool ParseVariableValue(const ReportVariable &variable, const QString &text, QVariant &value, QString &problem);
