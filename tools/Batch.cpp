#include "tools/Batch.h"

#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "platform/system/Termination.h"
#include "platform/system/Utf8.h"
#include "tools/Progress.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pagimo::tools {

namespace fs = std::filesystem;

namespace {

constexpr size_t LongKey = 200, CutKey = 190;
constexpr const char* Header = "key,file,pages,bytes,sha256\n";

std::string Quoted(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string RowText(const TManifestRow& row) {
    return Quoted(row.Key) + "," + Quoted(row.File) + "," + std::to_string(row.Pages) + "," +
           std::to_string(row.Bytes) + "," + row.Sha256 + "\n";
}

// Splits CSV text into records of fields; a record ends at a line break outside quotes. complete
// tells whether the record ended with its line break (a crash may leave the last one cut short).
struct TCsvRecord {
    std::vector<std::string> Fields;
    int Line = 0;
    bool Complete = false;
};

std::vector<TCsvRecord> SplitCsv(const std::string& text) {
    std::vector<TCsvRecord> records;
    TCsvRecord record;
    std::string field;
    bool quoted = false, started = false;
    int line = 1;
    record.Line = line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        started = true;
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.Fields.push_back(std::move(field));
            field.clear();
        } else if (c == '\n') {
            if (!field.empty() && field.back() == '\r') field.pop_back();
            record.Fields.push_back(std::move(field));
            field.clear();
            record.Complete = true;
            records.push_back(std::move(record));
            record = {};
            record.Line = ++line;
            started = false;
        } else {
            field += c;
        }
    }
    if (started) {
        record.Fields.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

bool ParseCount(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoll(text);
    return true;
}

bool IsSha256(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string SystemError(int error) {
    return std::strerror(error);
}

} // namespace

uint64_t StableHash(const std::string& text) {
    uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string FileNameOfKey(const std::string& key) {
    std::string name;
    for (size_t i = 0; i < key.size();) {
        const system::TUtf8Char u = system::DecodeUtf8(key, i);
        if (u.Length == 0) {
            name += '_';
            ++i;
            continue;
        }
        const uint32_t c = u.CodePoint;
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c < 0x80 && std::strchr("/\\:*?\"<>|", static_cast<int>(c))))
            name += '_';
        else
            name.append(key, i, u.Length);
        i += u.Length;
    }
    for (char& c : name) {
        if (c != '.') break;
        c = '_';
    }
    if (name.empty()) name = "_";
    if (name.size() > LongKey) {
        size_t cut = CutKey;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        char tail[16];
        std::snprintf(tail, sizeof tail, "~%08x", static_cast<unsigned>(StableHash(key) & 0xFFFFFFFFu));
        name = name.substr(0, cut) + tail;
    }
    return name;
}

TOutputPattern::TOutputPattern(std::string pattern) : FPattern(std::move(pattern)) {
    const fs::path path(FPattern);
    FFolder = path.parent_path().string();
    if (FFolder.empty()) FFolder = ".";
    const std::string name = path.filename().string();
    if (FFolder.find('{') != std::string::npos)
        throw EUsage{"{key} and {n} belong in the file name of the output, not in its folder: " + FPattern};
    bool any = false;
    for (size_t at = name.find('{'); at != std::string::npos; at = name.find('{', at + 1)) {
        if (name.compare(at, 5, "{key}") == 0 || name.compare(at, 3, "{n}") == 0) {
            any = true;
            continue;
        }
        const size_t close = name.find('}', at);
        throw EUsage{"unknown placeholder " + name.substr(at, close == std::string::npos ? 1 : close - at + 1) +
                     " in " + FPattern + " (there are {key} and {n})"};
    }
    if (!any) throw EUsage{"the output " + FPattern + " needs {key} or {n} in its name, to make one file per key"};
}

std::string TOutputPattern::Extension() const {
    return fs::path(FPattern).extension().string();
}

std::string TOutputPattern::Path(const std::string& key, int64_t n) const {
    const fs::path path(FPattern);
    const std::string name = path.filename().string();
    std::string out;
    for (size_t i = 0; i < name.size();) {
        if (name.compare(i, 5, "{key}") == 0) {
            out += FileNameOfKey(key);
            i += 5;
        } else if (name.compare(i, 3, "{n}") == 0) {
            out += std::to_string(n);
            i += 3;
        } else {
            out += name[i++];
        }
    }
    return path.has_parent_path() ? (path.parent_path() / out).string() : out;
}

TShard ParseShard(const std::string& text) {
    const auto number = [&text](const std::string& s, const char* what) {
        int64_t value = 0;
        if (!ParseCount(s, value) || value > 1000000)
            throw EUsage{"--shard " + text + ": " + what + " must be a whole number (--shard I/N, auto or auto/N)"};
        return static_cast<int>(value);
    };
    const size_t slash = text.find('/');
    const std::string first = text.substr(0, slash);
    TShard shard;
    if (first == "auto") {
        const auto env = [](const char* name) -> std::optional<std::string> {
            const char* value = std::getenv(name);
            if (!value || !*value) return std::nullopt;
            return std::string(value);
        };
        int given = slash == std::string::npos ? 0 : number(text.substr(slash + 1), "N");
        if (const auto id = env("SLURM_ARRAY_TASK_ID")) {
            const int min =
                env("SLURM_ARRAY_TASK_MIN") ? number(*env("SLURM_ARRAY_TASK_MIN"), "SLURM_ARRAY_TASK_MIN") : 0;
            const int step =
                env("SLURM_ARRAY_TASK_STEP") ? number(*env("SLURM_ARRAY_TASK_STEP"), "SLURM_ARRAY_TASK_STEP") : 1;
            const auto count = env("SLURM_ARRAY_TASK_COUNT");
            shard.Index = (number(*id, "SLURM_ARRAY_TASK_ID") - min) / std::max(step, 1);
            shard.Count = count ? number(*count, "SLURM_ARRAY_TASK_COUNT") : given;
            if (given && shard.Count != given)
                throw EUsage{"--shard " + text + ": the job array has " + std::to_string(shard.Count) + " tasks"};
        } else if (const auto index = env("JOB_COMPLETION_INDEX")) {
            if (!given)
                throw EUsage{"--shard auto: JOB_COMPLETION_INDEX gives the task but not how many there are: "
                             "--shard auto/N with N the Job's completions"};
            shard.Index = number(*index, "JOB_COMPLETION_INDEX");
            shard.Count = given;
        } else {
            throw EUsage{"--shard auto: no batch system's task in the environment (SLURM_ARRAY_TASK_ID or "
                         "JOB_COMPLETION_INDEX)"};
        }
    } else {
        if (slash == std::string::npos) throw EUsage{"--shard takes I/N (I from 0 to N-1), auto or auto/N: " + text};
        shard.Index = number(first, "I");
        shard.Count = number(text.substr(slash + 1), "N");
    }
    if (shard.Count < 1 || shard.Index < 0 || shard.Index >= shard.Count)
        throw EUsage{"--shard " + text + ": shard " + std::to_string(shard.Index) + " of " +
                     std::to_string(shard.Count) + " does not exist (I from 0 to N-1)"};
    return shard;
}

TFileDigest DigestOf(const std::string& path) {
    TFileDigest digest;
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return digest;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return digest;
    std::vector<char> buffer(1 << 16);
    int64_t bytes = 0;
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return digest;
        if (n == 0) break;
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(n));
        bytes += n;
    }
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), hash, &length) != 1) return digest;
    static const char Digits[] = "0123456789abcdef";
    for (unsigned int i = 0; i < length; ++i) {
        digest.Sha256 += Digits[hash[i] >> 4];
        digest.Sha256 += Digits[hash[i] & 15];
    }
    digest.Bytes = bytes;
    return digest;
}

std::vector<TManifestRow> ReadManifest(const std::string& path, std::vector<std::string>* problems) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EQRError(FormatMessage("Cannot open file %s", path));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<TManifestRow> rows;
    const auto problem = [&](int line, const std::string& why) {
        if (problems) problems->push_back(path + ":" + std::to_string(line) + ": " + why);
    };
    for (const TCsvRecord& r : SplitCsv(text)) {
        if (r.Line == 1 && !r.Fields.empty() && r.Fields[0] == "key") continue;
        TManifestRow row;
        row.Line = r.Line;
        if (!r.Complete) {
            problem(r.Line, "a row cut short");
            continue;
        }
        if (r.Fields.size() != 5 || !ParseCount(r.Fields[2], row.Pages) || !ParseCount(r.Fields[3], row.Bytes) ||
            !IsSha256(r.Fields[4]) || r.Fields[1].empty()) {
            problem(r.Line, "not a row of key,file,pages,bytes,sha256");
            continue;
        }
        row.Key = r.Fields[0];
        row.File = r.Fields[1];
        row.Sha256 = r.Fields[4];
        rows.push_back(std::move(row));
    }
    return rows;
}

TManifest::TManifest(std::string path, bool resume) : FPath(std::move(path)) {
    FFolder = fs::path(FPath).parent_path().string();
    if (FFolder.empty()) FFolder = ".";
    std::string text = Header;
    if (resume && fs::exists(FPath)) {
        std::unordered_set<std::string> keys;
        for (TManifestRow& row : ReadManifest(FPath)) {
            if (keys.count(row.Key)) continue;
            const TFileDigest digest = DigestOf((fs::path(FFolder) / row.File).string());
            if (digest.Bytes != row.Bytes || digest.Sha256 != row.Sha256) continue;
            keys.insert(row.Key);
            text += RowText(row);
            FKept.emplace(row.Key, row.File);
        }
    }
    // The manifest begins whole (header and kept rows) under its name, then grows by appending.
    TOutputFile file(FPath);
    if (PWriteFull(file.Fd(), text.data(), text.size(), 0) != static_cast<int64_t>(text.size()))
        throw EQRError(FormatMessage("Cannot create file %s", FPath) + ": " + SystemError(errno));
    file.Commit();
    FFd = ::open(FPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (FFd < 0) throw EQRError(FormatMessage("Cannot create file %s", FPath) + ": " + SystemError(errno));
    FRows = static_cast<int>(FKept.size());
}

TManifest::~TManifest() {
    if (FFd >= 0) ::close(FFd);
}

std::string TManifest::RowFile(const std::string& output) const {
    const fs::path relative = fs::path(output).lexically_proximate(FFolder);
    return relative.empty() ? output : relative.string();
}

bool TManifest::Done(const std::string& key, const std::string& output) const {
    const std::string file = RowFile(output);
    const auto it = FKept.find(key);
    return it != FKept.end() && it->second == file;
}

void TManifest::Add(const std::string& key, const std::string& output, int64_t pages) {
    const TFileDigest digest = DigestOf(output);
    if (digest.Bytes < 0) throw EQRError(FormatMessage("Cannot open file %s", output));
    const std::string line = RowText({key, RowFile(output), pages, digest.Bytes, digest.Sha256, 0});
    struct stat before {};
    if (::fstat(FFd, &before) != 0) throw EQRError(FormatMessage("Cannot create file %s", FPath));
    const ssize_t n = ::write(FFd, line.data(), line.size());
    if (n != static_cast<ssize_t>(line.size())) {
        const int error = n < 0 ? errno : ENOSPC;
        // No half row stays behind.
        if (::ftruncate(FFd, before.st_size) != 0) {
        }
        throw EQRError(FormatMessage("Cannot create file %s", FPath) + ": " + SystemError(error));
    }
    ++FRows;
}

TBatchOptions TBatchOptions::Take(TArgs& args) {
    TBatchOptions options;
    options.Manifest = args.Option("--manifest");
    options.Resume = args.Flag("--resume");
    if (const auto shard = args.Option("--shard")) options.Shard = ParseShard(*shard);
    options.Listed = options.Manifest || options.Resume || options.Shard.Sharded();
    return options;
}

std::string TBatchOptions::ManifestPath(const std::string& folder) const {
    if (Manifest) return *Manifest;
    const std::string name =
        Shard.Sharded() ? "manifest." + std::to_string(Shard.Index) + "-of-" + std::to_string(Shard.Count) + ".csv"
                        : std::string("manifest.csv");
    return (fs::path(folder) / name).string();
}

void RefuseSameOutputs(size_t count, const std::function<std::string(size_t)>& key,
                       const std::function<std::string(size_t)>& output) {
    // By the hash of each name, so that a million keys take little memory; names are compared when
    // their hashes meet.
    std::unordered_multimap<uint64_t, size_t> seen;
    seen.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string name = output(i);
        if (fs::path(name).filename().string().size() > 240)
            throw EQRError("the file name for the key '" + key(i) + "' is too long: " + name + "; nothing was written");
        const uint64_t hash = StableHash(name);
        const auto [first, last] = seen.equal_range(hash);
        for (auto it = first; it != last; ++it)
            if (output(it->second) == name)
                throw EQRError("the keys '" + key(it->second) + "' and '" + key(i) + "' both give the file " + name +
                               "; nothing was written");
        seen.emplace(hash, i);
    }
}

void CheckWritableFolder(const std::string& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
        std::string probe;
        TUniqueFd fd = CreateTempFile(folder, ".qrptool-probe.", probe);
        if (!fd.Valid()) throw EQRError("Cannot write to folder " + folder + ": " + SystemError(errno));
        ::unlink(probe.c_str());
        return;
    }
    // A folder still to be made: the nearest one that exists must take new entries.
    fs::path existing = fs::absolute(folder, ec);
    while (!existing.empty() && !fs::exists(existing, ec) && existing != existing.parent_path())
        existing = existing.parent_path();
    if (!fs::is_directory(existing, ec))
        throw EQRError("Cannot create folder " + folder + ": " + existing.string() + " is not a folder");
    if (::access(existing.c_str(), W_OK | X_OK) != 0)
        throw EQRError("Cannot create folder " + folder + ": " + existing.string() + ": " + SystemError(errno));
}

int RunBatch(const char* command, const std::vector<TBatchItem>& items, const TBatchOptions& options,
             const std::string& folder, bool keepGoing, const std::function<int64_t(const TBatchItem&)>& make) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw EQRError("Cannot create folder " + folder + ": " + ec.message());
    // One sync of the file system when the batch ends instead of one per output: the manifest's
    // checksums tell on resume whether an output listed before a crash is whole.
    SetSyncOnCommit(false);
    struct TSyncAtEnd {
        std::string Folder;
        ~TSyncAtEnd() {
            SyncFileSystemOf(Folder);
            SetSyncOnCommit(true);
        }
    } syncAtEnd{folder};
    std::unique_ptr<TManifest> listed;
    if (options.Listed) listed = std::make_unique<TManifest>(options.ManifestPath(folder), options.Resume);
    std::vector<const TBatchItem*> todo;
    int skipped = 0;
    for (const TBatchItem& item : items) {
        if (!options.Shard.Selects(item.Key)) continue;
        if (listed && options.Resume && listed->Done(item.Key, item.Output))
            ++skipped;
        else
            todo.push_back(&item);
    }
    const std::string name = std::string("qrptool ") + command;
    TProgress progress(name, "outputs", static_cast<int64_t>(todo.size()));
    int status = ExitOk, made = 0, failed = 0;
    const auto summary = [&](const char* what) {
        progress.Clear();
        std::string text =
            name + ": " + what + ": " + std::to_string(made) + " of " + std::to_string(todo.size()) + " outputs made";
        if (skipped) text += " (" + std::to_string(skipped) + " done before)";
        if (listed) text += ", listed in " + listed->Path();
        std::fprintf(stderr, "%s\n", text.c_str());
    };
    for (const TBatchItem* item : todo) {
        if (TerminationRequested()) {
            summary("interrupted");
            return ExitFailure;
        }
        try {
            const int64_t pages = make(*item);
            try {
                if (listed) listed->Add(item->Key, item->Output, pages);
            } catch (...) {
                // An output without its row would look finished to nobody: it goes too.
                ::unlink(item->Output.c_str());
                throw;
            }
            ++made;
        } catch (const std::exception& e) {
            progress.Clear();
            if (TerminationRequested()) {
                summary("interrupted");
                return ExitFailure;
            }
            std::fprintf(stderr, "%s: %s: %s\n", name.c_str(), item->Key.c_str(), e.what());
            status = ExitFailure;
            ++failed;
            if (!keepGoing) {
                summary("stopped");
                return status;
            }
        }
        progress.Step();
    }
    if (failed) summary("finished with errors");
    return status;
}

} // namespace pagimo::tools
