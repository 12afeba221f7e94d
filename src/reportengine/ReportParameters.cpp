#include "ReportParameters.h"

#include "repository/AppError.h"

#include <QDate>
#include <QLocale>

FixedParameterValues::FixedParameterValues(const QMap<QString, QString> &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        m_values.insert(it.key().toLower(), it.value());
}

bool FixedParameterValues::askVariable(const ReportVariable &variable, const QList<LookupChoice> &, QString &value,
                                       const QString &problem)
{
    if (!problem.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The variable '%1' has the value '%2': %3").arg(variable.name, value, problem));
    const auto it = m_values.constFind(variable.name.toLower());
    if (it != m_values.constEnd()) {
        value = *it;
        return true;
    }
    if (variable.defaultValue.isEmpty())
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("The variable '%1' has no value and no default value.").arg(variable.name));
    value = variable.defaultValue;
    return true;
}

QString FixedParameterValues::askDestinationFile(const QString &suggestedPath) { return suggestedPath; }

void FixedParameterValues::openDocument(const QString &) {}

bool ParseVariableValue(const ReportVariable &variable, const QString &text, QVariant &value, QString &problem)
{
    problem.clear();
    const QString t = text.trimmed();
    switch (variable.type) {
    case ReportVariable::Numeric: {
        if (t.isEmpty()) {
            value = QVariant();
            return true;
        }
        bool ok = false;
        double d = QLocale::c().toDouble(t, &ok);
        if (!ok)
            d = QLocale().toDouble(t, &ok);
        if (!ok) {
            problem = QStringLiteral("The value of '%1' must be a number.").arg(variable.label());
            return false;
        }
        // Whole numbers are bound as integers so that they compare exactly with integer columns.
        if (d == double(qint64(d)) && qAbs(d) < 9.0e15)
            value = QVariant(qint64(d));
        else
            value = QVariant(d);
        return true;
    }
    case ReportVariable::Date: {
        if (t.isEmpty()) {
            value = QVariant();
            return true;
        }
        QDate d = QDate::fromString(t, Qt::ISODate);
        if (!d.isValid())
            d = QLocale().toDate(t, QLocale::ShortFormat);
        if (!d.isValid())
            d = QDate::fromString(t, QStringLiteral("dd.MM.yyyy"));
        if (!d.isValid()) {
            problem = QStringLiteral("The value of '%1' must be a date (YYYY-MM-DD).").arg(variable.label());
            return false;
        }
        // Bound as ISO text: SQLite stores dates as such text and PostgreSQL casts it.
        value = QVariant(d.toString(Qt::ISODate));
        return true;
    }
    default:
        value = QVariant(text);
        return true;
    }
}
