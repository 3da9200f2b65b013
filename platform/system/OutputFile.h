#pragma once
// An output file written under a temporary name and put in place on Commit, so that a failed save
// leaves no partial file behind and an existing file is kept until the new one is complete.
//
// The temporary file is created exclusively beside the target (a name planted there, such as a
// symbolic link, is never followed or removed) and is removed on every way out, also on a terminating
// signal. The path "-" means standard output: the content goes there on Commit.

#include <memory>
#include <string>
#include <vector>

namespace pagimo {

class TFileRemover;
class TUniqueFd;

class TOutputFile {
public:
    // Throws EQRError("Cannot create file %s") when no temporary file can be made.
    explicit TOutputFile(const std::string& path);
    ~TOutputFile(); // removes the temporary file unless committed
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    bool ToStandardOutput() const { return FPath == "-"; }
    const std::string& Path() const { return FPath; }
    // Where the content is written before Commit, by name or through Fd (open for reading and writing).
    const std::string& TempPath() const { return FTemp; }
    int Fd() const;
    // Syncs the temporary file and renames it over the target (keeping the old file's permissions),
    // or copies it to standard output; throws EQRError("Cannot create file %s") when that fails, and
    // then leaves the target as it was.
    void Commit();
    bool Committed() const { return FCommitted; }

private:
    std::string FPath, FTemp;
    std::unique_ptr<TUniqueFd> FFd;
    std::unique_ptr<TFileRemover> FRemover;
    bool FCommitted = false;
};

// Whether Commit syncs each file to the disk before putting it in place (the default), so that even a
// power failure never leaves a torn file under the final name. A batch of many outputs turns it off
// for the process and syncs the file system once at its end (SyncFileSystemOf): it lists each output
// with its checksum and checks them when it resumes, and a sync per file would cost more than making
// a small output.
void SetSyncOnCommit(bool sync);
bool SyncOnCommit();
// Syncs the file system that holds path (syncfs); false when that fails.
bool SyncFileSystemOf(const std::string& path);

// Refuses to write output over one of the files a command reads: raises EQRError("Cannot create file
// OUT: it is the input file IN") when output names the same file as an input (through links too).
void RefuseInputAsOutput(const std::vector<std::string>& inputs, const std::string& output);

} // namespace pagimo
