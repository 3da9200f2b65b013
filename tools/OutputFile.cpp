#include "tools/OutputFile.h"

#include "platform/system/Errors.h"

#include <QFile>

#include <cstdio>

namespace pagimo::tools {

TOutputFile::TOutputFile(const std::string& path)
    : FPath(QString::fromStdString(path)), FTemp(FPath + QStringLiteral(".part")) {}

TOutputFile::~TOutputFile() {
    if (!FCommitted) QFile::remove(FTemp);
}

void TOutputFile::Commit() {
    if (std::rename(FTemp.toStdString().c_str(), FPath.toStdString().c_str()) != 0)
        throw EQRError(FormatMessage("Cannot create file %s", FPath.toStdString()));
    FCommitted = true;
}

} // namespace pagimo::tools
