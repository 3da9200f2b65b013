#pragma once
// Batches of outputs, one per key: qrptool report --burst (a key per value of an expression) and
// convert and export of many files (a key per input file). What they share: output names made from
// keys, shards that split a batch between tasks, the manifest of finished outputs, resuming an
// interrupted batch, and checking manifests afterwards.

#include "tools/CommandLine.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pagimo::tools {

// A key as a file name: '/', '\', the characters Windows shares refuse (: * ? " < > |), control
// characters and bytes that are not UTF-8 become '_'; leading dots become '_' (no hidden files, no
// "..") and an empty key is "_". A key longer than 200 bytes is cut at a character to 190 bytes and
// ends in '~' and 8 hexadecimal digits of a hash of the whole key, so long keys stay apart.
std::string FileNameOfKey(const std::string& key);

// A stable 64-bit hash of text (FNV-1a over its UTF-8 bytes): the same on every machine and run.
uint64_t StableHash(const std::string& text);

// An output pattern DIR/NAME.EXT whose NAME holds {key} (the key as a file name) or {n} (the
// output's ordinal from 1) or both.
class TOutputPattern {
public:
    // Throws EUsage: no {key} or {n}, a placeholder in the folder part, an unknown {placeholder}.
    explicit TOutputPattern(std::string pattern);
    std::string Path(const std::string& key, int64_t n) const;
    const std::string& Folder() const { return FFolder; } // "." when the pattern names none
    std::string Extension() const;                        // of the pattern, with its dot

private:
    std::string FPattern, FFolder;
};

// Shard I of N: the keys whose stable hash is I modulo N.
struct TShard {
    int Index = 0, Count = 1;
    bool Selects(const std::string& key) const { return Count <= 1 || StableHash(key) % Count == uint64_t(Index); }
    bool Sharded() const { return Count > 1; }
};

// --shard I/N, or auto (Slurm job arrays: SLURM_ARRAY_TASK_ID, _MIN, _STEP and _COUNT) or auto/N
// (also Kubernetes indexed jobs: JOB_COMPLETION_INDEX). Throws EUsage.
TShard ParseShard(const std::string& text);

struct TFileDigest {
    int64_t Bytes = -1; // -1: the file cannot be read
    std::string Sha256; // lower-case hexadecimal
};
TFileDigest DigestOf(const std::string& path);

struct TManifestRow {
    std::string Key, File; // File relative to the manifest's folder
    int64_t Pages = 0, Bytes = 0;
    std::string Sha256;
    int Line = 0;
};

// The rows of a manifest (key,file,pages,bytes,sha256 with a header line, CSV as RFC 4180 quotes
// it). Lines that are not rows (a row cut short by a crash) go to problems as "FILE:LINE: reason".
std::vector<TManifestRow> ReadManifest(const std::string& path, std::vector<std::string>* problems = nullptr);

// The manifest of a batch as it is made: one row appended as each output is finished, in one write,
// so that an interrupted batch leaves whole rows of complete outputs only.
class TManifest {
public:
    // A new manifest (only the header) in place of any old one; with resume, the old one's rows whose
    // file is there with its size and checksum are kept (once per key) and the rest dropped.
    // Throws EQRError when it cannot be written.
    TManifest(std::string path, bool resume);
    ~TManifest();
    TManifest(const TManifest&) = delete;
    TManifest& operator=(const TManifest&) = delete;

    const std::string& Path() const { return FPath; }
    // The name a row gives output: relative to the manifest's folder.
    std::string RowFile(const std::string& output) const;
    // Whether a kept row says that key's output is this file, complete.
    bool Done(const std::string& key, const std::string& output) const;
    int Rows() const { return FRows; }
    // Appends the row of a finished output (its size and checksum read back). Throws EQRError when
    // the row cannot be written; the manifest is then as it was.
    void Add(const std::string& key, const std::string& output, int64_t pages);

private:
    std::string FPath, FFolder;
    int FFd = -1;
    int FRows = 0;
    std::unordered_map<std::string, std::string> FKept; // key -> file of the rows kept
};

// What a batch command takes from its command line: --manifest FILE, --resume, --shard.
struct TBatchOptions {
    std::optional<std::string> Manifest;
    bool Resume = false;
    TShard Shard;
    bool Listed = false; // a manifest is written: always for bursts, else when one of the three is given
    // Takes the three options out of args.
    static TBatchOptions Take(TArgs& args);
    // The manifest of a batch writing into folder: --manifest, else folder/manifest.csv, or for
    // shard I of N folder/manifest.I-of-N.csv, so that tasks sharing a folder write apart.
    std::string ManifestPath(const std::string& folder) const;
};

// One output of a batch: its key and the file it goes to.
struct TBatchItem {
    std::string Key, Output;
};

// Makes the folder when missing, then the outputs of the items in order: those of other shards and, with --resume,
// those done already are left out; each is made by make (which returns its page count and writes the file as a whole or
// not at all) and gets its manifest row. Progress counts outputs. A failing output stops the batch unless keepGoing
// (then it is named and the next one made); a termination request stops it between outputs. Returns the exit status;
// says on stderr what was made and where it is listed when something failed.
int RunBatch(const char* command, const std::vector<TBatchItem>& items, const TBatchOptions& options,
             const std::string& folder, bool keepGoing, const std::function<int64_t(const TBatchItem&)>& make);

// Two of count keys whose outputs would be the same file, refused before anything is written: EQRError
// naming both keys and the file. key(i) and output(i) give the i-th key and its output.
void RefuseSameOutputs(size_t count, const std::function<std::string(size_t)>& key,
                       const std::function<std::string(size_t)>& output);

// Proves that files can be created in folder, or that it can be made where it is missing (RunBatch
// makes it); EQRError saying why not.
void CheckWritableFolder(const std::string& folder);

} // namespace pagimo::tools
