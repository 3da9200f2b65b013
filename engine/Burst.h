#pragma once
// TQRBurst: a description run once per value of an expression over its report's master records (one
// invoice per customer), all in one process: the description, its fonts and its query once.
//
// ReadKeys reads the master data set once, in data order, evaluating the key for every record and
// keeping the records in a spool (memory, then a temporary file), so that the query runs once and
// every output sees the same data even when the database changes meanwhile. Records with the same
// key must come together, as group bands expect: a key met again after another is refused before
// any output. Select then makes the master data set serve one key's records alone, so that a run
// of the description (Record, Export) gives exactly what the report gives on those records: its own
// title and summary, page numbers from 1 and its own page total.

#include "engine/DataSet.h"
#include "platform/system/Errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pagimo::expr {
class TQREvaluator;
class TQREvEnvironment;
} // namespace pagimo::expr
namespace pagimo::pagestore {
class TQRStream;
}

namespace pagimo::engine {

class TQRDescription;
class TQRReport;

// The key expression does not parse, names what is neither a field nor a function, or aggregates.
class EBurstExpression : public EQRError {
public:
    using EQRError::EQRError;
};

// A key met again after another one: records with the same key must come together.
class EBurstOrder : public EQRError {
public:
    EBurstOrder(std::string value, int firstRecord, int record);
    std::string Value;
    int FirstRecord, Record; // 1-based, in data order
};

struct TQRBurstKey {
    std::string Value;   // the key as the expression's text ("42", "Smith & Co")
    int FirstRecord = 0; // its first record, 1-based in data order
    int Records = 0;
    int64_t Offset = 0, Bytes = 0; // its records in the spool
};

class TQRBurst {
public:
    // Prepares expression against the data sets of the description's report (with its functions, as
    // --param sets them). Throws EBurstExpression, and EQRError when the description runs a composite
    // report or its report has no active data set.
    TQRBurst(TQRDescription& description, const std::string& expression);
    ~TQRBurst(); // the master data set serves its own records again
    TQRBurst(const TQRBurst&) = delete;
    TQRBurst& operator=(const TQRBurst&) = delete;

    // Reads every master record once (a parameterised master with the report's functions, as a run
    // reads it). Throws EBurstOrder, EQRError("record N: ...") when the key cannot be evaluated,
    // what reading the data set throws, and ERunInterrupted on a termination request. progress gets
    // the number of records read now and then.
    void ReadKeys(const std::function<void(int records)>& progress = {});
    const std::vector<TQRBurstKey>& Keys() const { return FKeys; }
    int RecordCount() const { return FRecordCount; }

    // Makes the master data set serve the records of Keys()[index] alone, until the next Select or
    // Release.
    void Select(size_t index);
    void Release();

private:
    TQRReport* FReport = nullptr;
    TQRDataSet* FMaster = nullptr;
    std::unique_ptr<expr::TQREvEnvironment> FEnvironment;
    std::unique_ptr<expr::TQREvaluator> FKey;
    std::unique_ptr<pagestore::TQRStream> FSpool;
    std::vector<TQRBurstKey> FKeys;
    int FRecordCount = 0;
};

} // namespace pagimo::engine
