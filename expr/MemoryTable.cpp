#include "expr/MemoryTable.h"

#include "expr/Locale.h"

namespace pagimo::expr {

class TQREvMemoryTable::TField : public TQREvField {
public:
    TField(const TQREvMemoryTable& table, std::string name, std::size_t column)
        : FTable(table), FName(std::move(name)), FUpperName(Utf8Upper(FName)), FColumn(column) {}

    // Past the last record (or in an empty table) the field reads as the integer 0.
    EvResult Value() const override {
        if (FTable.FRecord >= FTable.FRows.size()) return EvResult::Int(0);
        return FTable.FRows[FTable.FRecord][FColumn];
    }
    const std::string& UpperName() const { return FUpperName; }

private:
    const TQREvMemoryTable& FTable;
    std::string FName;
    std::string FUpperName;
    std::size_t FColumn;
};

TQREvMemoryTable::TQREvMemoryTable(std::string name, std::vector<std::string> columns) : FName(std::move(name)) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        FFields.push_back(std::make_unique<TField>(*this, std::move(columns[i]), i));
    }
}

TQREvMemoryTable::~TQREvMemoryTable() = default;

const TQREvField* TQREvMemoryTable::FindField(std::string_view name) const {
    const std::string upper = Utf8Upper(name);
    for (const auto& field : FFields) {
        if (field->UpperName() == upper) return field.get();
    }
    return nullptr;
}

void TQREvMemoryTable::AppendRow(std::vector<EvResult> values) {
    values.resize(FFields.size(), EvResult::Int(0));
    FRows.push_back(std::move(values));
}

} // namespace pagimo::expr
