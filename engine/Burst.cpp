#include "engine/Burst.h"

#include "engine/Controller.h"
#include "engine/Description.h"
#include "engine/Generation.h"
#include "engine/Report.h"
#include "expr/Environment.h"
#include "expr/Evaluator.h"
#include "pagestore/Stream.h"
#include "platform/emf/LittleEndian.h"
#include "platform/system/Termination.h"

#include <cstring>
#include <unordered_map>

namespace pagimo::engine {

namespace {

// The spool moves from memory to a temporary file past this size.
constexpr int32_t SpoolMemory = 1 << 20;

enum : uint8_t { tagNull, tagInteger, tagFloat, tagText, tagTrue, tagFalse };

void Put(std::string& out, uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    out.append(reinterpret_cast<const char*>(bytes), 8);
}

uint64_t Get(const std::string& in, size_t& at) {
    if (at + 8 > in.size()) throw EQRError("Stream read error");
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    at += 8;
    return value;
}

// A record as the spool keeps it: per value a tag, then the value.
void Serialize(const std::vector<TFieldValue>& row, std::string& out) {
    for (const TFieldValue& v : row) {
        if (const auto* i = std::get_if<int64_t>(&v)) {
            out.push_back(static_cast<char>(tagInteger));
            Put(out, static_cast<uint64_t>(*i));
        } else if (const auto* d = std::get_if<double>(&v)) {
            out.push_back(static_cast<char>(tagFloat));
            uint64_t bits;
            std::memcpy(&bits, d, sizeof bits);
            Put(out, bits);
        } else if (const auto* s = std::get_if<std::string>(&v)) {
            out.push_back(static_cast<char>(tagText));
            Put(out, s->size());
            out += *s;
        } else if (const auto* b = std::get_if<bool>(&v)) {
            out.push_back(static_cast<char>(*b ? tagTrue : tagFalse));
        } else {
            out.push_back(static_cast<char>(tagNull));
        }
    }
}

std::vector<TFieldValue> Deserialize(const std::string& in, size_t& at, size_t fields) {
    std::vector<TFieldValue> row(fields);
    for (TFieldValue& v : row) {
        if (at >= in.size()) throw EQRError("Stream read error");
        switch (static_cast<uint8_t>(in[at++])) {
        case tagInteger:
            v = static_cast<int64_t>(Get(in, at));
            break;
        case tagFloat: {
            const uint64_t bits = Get(in, at);
            double d;
            std::memcpy(&d, &bits, sizeof d);
            v = d;
            break;
        }
        case tagText: {
            const uint64_t n = Get(in, at);
            if (n > in.size() - at) throw EQRError("Stream read error");
            v = in.substr(at, n);
            at += n;
            break;
        }
        case tagTrue:
        case tagFalse:
            v = static_cast<uint8_t>(in[at - 1]) == tagTrue;
            break;
        default:
            break;
        }
    }
    return row;
}

} // namespace

EBurstOrder::EBurstOrder(std::string value, int firstRecord, int record)
    : EQRError("--burst: the key '" + value + "' comes again at record " + std::to_string(record) +
               " after other keys (first at record " + std::to_string(firstRecord) +
               "): the records must come sorted by the key; nothing was written"),
      Value(std::move(value)), FirstRecord(firstRecord), Record(record) {}

TQRBurst::TQRBurst(TQRDescription& description, const std::string& expression) {
    if (description.Composite())
        throw EQRError("--burst runs a single report; the description holds a composite report");
    TQRReport* report = description.Report();
    if (!report) throw EQRError(description.File().string() + ": no report in the description");
    FReport = report;
    FMaster = report->DataSet();
    if (!FMaster || !FMaster->Active())
        throw EQRError("--burst needs the report's data set (DataSet, with Active = True) to take keys from");

    // The key sees what the report's expressions see: the fields of the form's data sets and the
    // report's functions.
    expr::TQREvDataSets sets;
    const std::function<void(const system::TComponent&)> collect = [&](const system::TComponent& c) {
        if (const auto* d = dynamic_cast<const TQRDataSet*>(&c)) sets.push_back(&d->EvDataSet());
        for (const system::TComponent* owned : c.Components())
            collect(*owned);
    };
    collect(description.Root());
    expr::QRGlobalEnvironment().Prepare();
    FEnvironment = std::make_unique<expr::TQREvEnvironment>();
    FEnvironment->ReadData(report->Functions()->Names(), report->Functions()->Expressions());
    FEnvironment->SetDataSets(sets);
    FEnvironment->Prepare();
    FKey = std::make_unique<expr::TQREvaluator>();
    FKey->SetDataSets(sets);
    FKey->SetEnvironment(FEnvironment.get());
    FKey->Prepare(expression);
    const auto refuse = [&expression](const std::string& why) {
        return EBurstExpression("--burst " + expression + ": " + why);
    };
    if (expression.find_first_not_of(" \t") == std::string::npos) throw refuse("the expression is empty");
    if (const auto errors = FKey->ParseErrors(); !errors.empty()) throw refuse(errors.front());
    if (const auto unknown = FKey->UnknownNames(); !unknown.empty())
        throw refuse("unknown field or function [" + unknown.front() + "]");
    if (FKey->IsAggregate()) throw refuse("a key cannot aggregate over records");
}

TQRBurst::~TQRBurst() {
    Release();
    if (FKey) FKey->Unprepare();
    if (FEnvironment) FEnvironment->Unprepare();
    expr::QRGlobalEnvironment().Unprepare();
}

void TQRBurst::ReadKeys(const std::function<void(int)>& progress) {
    Release();
    FKeys.clear();
    FRecordCount = 0;
    FSpool = std::make_unique<pagestore::TQRStream>(SpoolMemory);
    // A master whose query parameters are report functions is read as a run reads it.
    if (auto* params = FMaster->Params()) {
        bool refresh = false;
        for (const TQRParam& p : *params)
            refresh = refresh || FReport->Functions()->Find(p.Name).has_value();
        if (refresh) {
            FMaster->Close();
            AssignParamsFromFunctions(*FMaster, *FReport);
            FMaster->Open();
        }
    }
    // Keys met so far by their hash (index in FKeys), so that a million keys take little memory.
    std::unordered_multimap<uint64_t, uint32_t> seen;
    const auto hashOf = [](const std::string& key) {
        uint64_t hash = 14695981039346656037ULL;
        for (unsigned char c : key)
            hash = (hash ^ c) * 1099511628211ULL;
        return hash;
    };
    std::string record;
    int64_t offset = 0;
    for (FMaster->First(); !FMaster->Eof(); FMaster->Next()) {
        ++FRecordCount;
        if ((FRecordCount & 1023) == 0) {
            if (const int signal = TerminationRequested()) throw ERunInterrupted(signal, 0);
            if (progress) progress(FRecordCount);
        }
        const expr::EvResult value = FKey->Value();
        if (value.Kind == expr::resError)
            throw EQRError("--burst: record " + std::to_string(FRecordCount) + ": " + value.StrResult);
        std::string key = expr::ResultText(value);
        if (FKeys.empty() || FKeys.back().Value != key) {
            const uint64_t hash = hashOf(key);
            const auto [first, last] = seen.equal_range(hash);
            for (auto it = first; it != last; ++it)
                if (FKeys[it->second].Value == key) throw EBurstOrder(key, FKeys[it->second].FirstRecord, FRecordCount);
            seen.emplace(hash, static_cast<uint32_t>(FKeys.size()));
            FKeys.push_back({std::move(key), FRecordCount, 0, offset, 0});
        }
        record.clear();
        Serialize(FMaster->CurrentRow(), record);
        FSpool->WriteBuffer(record.data(), record.size());
        offset += static_cast<int64_t>(record.size());
        ++FKeys.back().Records;
        FKeys.back().Bytes += static_cast<int64_t>(record.size());
    }
    if (progress) progress(FRecordCount);
}

void TQRBurst::Select(size_t index) {
    const TQRBurstKey& key = FKeys.at(index);
    std::string bytes(static_cast<size_t>(key.Bytes), '\0');
    FSpool->SetPosition(key.Offset);
    FSpool->ReadBuffer(bytes.data(), bytes.size());
    std::vector<std::vector<TFieldValue>> rows;
    rows.reserve(static_cast<size_t>(key.Records));
    size_t at = 0;
    for (int i = 0; i < key.Records; ++i)
        rows.push_back(Deserialize(bytes, at, FMaster->FieldCount()));
    FMaster->BeginSlice(std::move(rows));
}

void TQRBurst::Release() {
    if (FMaster) FMaster->EndSlice();
}

} // namespace pagimo::engine
