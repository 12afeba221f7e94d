#pragma once

#include <QString>
#include <exception>
#include <string>

// A failure with everything the error box shows. Repository operations throw it with the
// driver's own code and message; procedures let it pass unchanged to the command that reports it.
class AppError : public std::exception {
public:
    AppError(int number, QString description, QString source = QStringLiteral("Velmora"),
             QString helpFile = {}, int helpContext = 0);

    int number;
    QString description;
    QString source;
    QString helpFile;
    int helpContext;

    const char *what() const noexcept override { return m_what.c_str(); }

private:
    std::string m_what;
};

// Error numbers the console raises itself (the driver's own codes pass through unchanged).
namespace ErrorNumber {
constexpr int Generic = 1000;
constexpr int Database = 1001;   // a statement failed; description is the driver's text
constexpr int NotConnected = 1002;
constexpr int BadFile = 1003;    // not a package/repository, damaged, wrong password
constexpr int InvalidArgument = 1004;
}
