#include "AppError.h"

AppError::AppError(int number_, QString description_, QString source_, QString helpFile_, int helpContext_)
    : number(number_), description(std::move(description_)), source(std::move(source_)),
      helpFile(std::move(helpFile_)), helpContext(helpContext_),
      m_what(description.toStdString())
{
}
