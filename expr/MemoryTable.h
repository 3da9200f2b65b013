#pragma once
// A small in-memory data set: named columns, rows of values and a current record. It serves
// tests, benchmarks and tools, and is the simplest TQREvDataSet a report can iterate.

#include "expr/EvDataSet.h"

#include <memory>
#include <string>
#include <vector>

namespace pagimo::expr {

class TQREvMemoryTable : public TQREvDataSet {
public:
    TQREvMemoryTable(std::string name, std::vector<std::string> columns);
    ~TQREvMemoryTable() override;

    std::string Name() const override { return FName; }
    const TQREvField* FindField(std::string_view name) const override;

    // Appends a row; missing trailing values are integer 0, surplus ones are dropped.
    void AppendRow(std::vector<EvResult> values);
    std::size_t RecordCount() const { return FRows.size(); }
    // The current record (0-based); fields read it at every evaluation.
    void SetRecord(std::size_t index) { FRecord = index; }
    std::size_t Record() const { return FRecord; }

private:
    class TField;
    friend class TField;

    std::string FName;
    std::vector<std::unique_ptr<TField>> FFields;
    std::vector<std::vector<EvResult>> FRows;
    std::size_t FRecord = 0;
};

} // namespace pagimo::expr
