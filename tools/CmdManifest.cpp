// qrptool manifest check: the manifests of a batch (one per shard, or one) read together, and every
// output they list checked against its row.

#include "platform/system/Errors.h"
#include "tools/Batch.h"
#include "tools/Commands.h"
#include "tools/Progress.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pagimo::tools {

namespace {

namespace fs = std::filesystem;

struct TListed {
    TManifestRow Row;
    std::string Manifest, Path; // the manifest it is in; the output's path
    std::string Where() const { return Manifest + ":" + std::to_string(Row.Line); }
};

// The manifests an argument names: a manifest file, or every manifest*.csv in a folder.
std::vector<std::string> ManifestsOf(const std::string& argument) {
    std::error_code ec;
    if (!fs::is_directory(argument, ec)) {
        if (!fs::exists(argument, ec)) throw EQRError(FormatMessage("Cannot open file %s", argument));
        return {argument};
    }
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("manifest") && name.ends_with(".csv") && entry.is_regular_file(ec))
            found.push_back(entry.path().string());
    }
    if (found.empty()) throw EQRError("no manifest*.csv in " + argument);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<TListed> ReadAll(const std::vector<std::string>& arguments, std::vector<std::string>& problems) {
    std::vector<TListed> all;
    for (const std::string& argument : arguments) {
        for (const std::string& manifest : ManifestsOf(argument)) {
            const fs::path folder = fs::path(manifest).parent_path();
            for (TManifestRow& row : ReadManifest(manifest, &problems)) {
                const std::string path = (folder / row.File).lexically_normal().string();
                all.push_back({std::move(row), manifest, path});
            }
        }
    }
    return all;
}

int Check(TArgs& args) {
    const auto against = args.Options("--against");
    auto positionals = args.Positionals();
    if (positionals.empty() || positionals[0] != "check") throw EUsage{"the only manifest command is check"};
    positionals.erase(positionals.begin());
    if (positionals.empty()) throw EUsage{"manifest check needs folders or manifest files"};

    std::vector<std::string> problems;
    const std::vector<TListed> listed = ReadAll(positionals, problems);
    int missing = 0, damaged = 0, duplicate = 0, differing = 0;
    std::map<std::string, const TListed*> byKey, byFile;
    std::vector<std::string> lines;
    for (const TListed& l : listed) {
        if (const auto [it, added] = byKey.emplace(l.Row.Key, &l); !added) {
            lines.push_back("duplicate key '" + l.Row.Key + "': " + it->second->Where() + " and " + l.Where());
            ++duplicate;
        }
        if (const auto [it, added] = byFile.emplace(l.Path, &l); !added && it->second->Row.Key != l.Row.Key) {
            lines.push_back("duplicate file " + l.Path + ": " + it->second->Where() + " and " + l.Where());
            ++duplicate;
        }
    }
    {
        TProgress progress("qrptool manifest", "outputs", static_cast<int64_t>(listed.size()));
        for (const TListed& l : listed) {
            const TFileDigest digest = DigestOf(l.Path);
            if (digest.Bytes < 0) {
                lines.push_back("missing " + l.Path + " (key '" + l.Row.Key + "', " + l.Where() + ")");
                ++missing;
            } else if (digest.Bytes != l.Row.Bytes) {
                lines.push_back("damaged " + l.Path + " (key '" + l.Row.Key + "', " + l.Where() + "): " +
                                std::to_string(digest.Bytes) + " bytes, the row says " + std::to_string(l.Row.Bytes));
                ++damaged;
            } else if (digest.Sha256 != l.Row.Sha256) {
                lines.push_back("damaged " + l.Path + " (key '" + l.Row.Key + "', " + l.Where() +
                                "): its SHA-256 differs from the row's");
                ++damaged;
            }
            progress.Step();
        }
    }
    if (!against.empty()) {
        std::vector<std::string> theirProblems;
        const std::vector<TListed> reference = ReadAll(against, theirProblems);
        std::map<std::string, const TListed*> theirs;
        for (const TListed& r : reference)
            theirs.emplace(r.Row.Key, &r);
        for (const auto& [key, r] : theirs) {
            const auto it = byKey.find(key);
            if (it == byKey.end())
                lines.push_back("not made: key '" + key + "' (" + r->Where() + ")");
            else if (it->second->Row.Sha256 != r->Row.Sha256 || it->second->Row.File != r->Row.File)
                lines.push_back("differs: key '" + key + "': " + it->second->Where() + " against " + r->Where());
            else
                continue;
            ++differing;
        }
        for (const auto& [key, l] : byKey)
            if (!theirs.count(key)) {
                lines.push_back("extra: key '" + key + "' (" + l->Where() + ")");
                ++differing;
            }
    }
    for (const std::string& p : problems)
        std::printf("bad row %s\n", p.c_str());
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    const size_t bad = problems.size() + missing + damaged + duplicate + differing;
    std::printf("%zu output(s) listed: %s", listed.size(), bad ? "" : "all there and whole");
    if (bad) {
        std::printf("%d missing, %d damaged, %d duplicate, %zu bad row(s)", missing, damaged, duplicate,
                    problems.size());
        if (!against.empty()) std::printf(", %d unlike the other run", differing);
    } else if (!against.empty()) {
        std::printf(", the same as the other run");
    }
    std::printf("\n");
    return bad ? ExitFailure : ExitOk;
}

} // namespace

extern const TCommand CmdManifest = {
    "manifest", "check the outputs a batch's manifests list",
    "usage: qrptool manifest check DIR|MANIFEST.csv ... [--against DIR|MANIFEST.csv ...]\n\n"
    "Reads the manifests together (in a folder: every manifest*.csv, as the shards of a batch write\n"
    "them) and checks every output they list: missing files, damaged ones (size or SHA-256 unlike the\n"
    "row), keys or files listed twice, and rows that are not whole. With --against, the outputs must\n"
    "also be those of the other run's manifests: the same keys, files and checksums.\n"
    "Exit status: 0 all there and whole, 1 any problem (each on its own line), 2 usage error.\n",
    Check};

} // namespace pagimo::tools
