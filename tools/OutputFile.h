#pragma once
// An output file written under a temporary name and renamed into place on Commit, so that a failed
// command leaves no partial file behind.

#include <QString>

#include <string>

namespace pagimo::tools {

class TOutputFile {
public:
    explicit TOutputFile(const std::string& path);
    ~TOutputFile(); // removes the temporary file unless committed
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    const QString& TempPath() const { return FTemp; }
    void Commit(); // throws EQRError when the file cannot be put in place

private:
    QString FPath, FTemp;
    bool FCommitted = false;
};

} // namespace pagimo::tools
