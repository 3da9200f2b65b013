#include "engine/DataSet.h"

#include "platform/system/Errors.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace pagimo::engine {

const system::TEnumInfo& FieldTypeInfo() {
    static const system::TEnumInfo info{"TFieldType",
                                        {"ftUnknown", "ftString", "ftInteger", "ftBoolean", "ftFloat", "ftCurrency",
                                         "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBlob"}};
    return info;
}

const TFieldValue& TQRField::FieldValue() const {
    return FDataSet.CurrentValue(FIndex);
}

expr::EvResult ToEvResult(const TFieldValue& value, TFieldType type) {
    if (auto* i = std::get_if<int64_t>(&value)) {
        if (*i >= INT32_MIN && *i <= INT32_MAX) return expr::EvResult::Int(static_cast<int32_t>(*i));
        return expr::EvResult::Float(static_cast<double>(*i));
    }
    if (auto* d = std::get_if<double>(&value)) return expr::EvResult::Float(*d);
    if (auto* s = std::get_if<std::string>(&value)) return expr::EvResult::String(*s);
    if (auto* b = std::get_if<bool>(&value)) return expr::EvResult::Bool(*b);
    switch (type) {
    case TFieldType::ftInteger:
        return expr::EvResult::Int(0);
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
        return expr::EvResult::Float(0);
    case TFieldType::ftBoolean:
        return expr::EvResult::Bool(false);
    default:
        return expr::EvResult::String({});
    }
}

TFieldValue FromEvResult(const expr::EvResult& r) {
    switch (r.Kind) {
    case expr::resInt:
        return int64_t{r.IntResult};
    case expr::resDouble:
        return r.DblResult;
    case expr::resString:
        return r.StrResult;
    case expr::resBool:
        return r.BooResult;
    default:
        return std::monostate{};
    }
}

std::string TQRField::AsString() const {
    const TFieldValue& v = FieldValue();
    if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    return {};
}

struct TQRDataSet::TSavedRecords {
    std::vector<std::vector<TFieldValue>> Rows;
    std::unique_ptr<TRowCursor> Cursor;
    size_t Record = 0;
    bool Active = false, Eof = true, Bof = true, PastFirst = false;
    int64_t Count = -2;
};

TQRDataSet::TQRDataSet() = default;
TQRDataSet::~TQRDataSet() = default;

void TQRDataSet::BeginSlice(std::vector<std::vector<TFieldValue>> rows) {
    if (!FSaved) {
        FSaved = std::make_unique<TSavedRecords>(
            TSavedRecords{std::move(FRows), std::move(FCursor), FRecord, FActive, FEof, FBof, FPastFirst, FCount});
        FCursor.reset();
    }
    for (auto& row : rows)
        row.resize(FColumns.size());
    FRows = std::move(rows);
    FActive = true;
    First();
}

void TQRDataSet::EndSlice() {
    if (!FSaved) return;
    FRows = std::move(FSaved->Rows);
    FCursor = std::move(FSaved->Cursor);
    FRecord = FSaved->Record;
    FActive = FSaved->Active;
    FEof = FSaved->Eof;
    FBof = FSaved->Bof;
    FPastFirst = FSaved->PastFirst;
    FCount = FSaved->Count;
    FSaved.reset();
}

std::vector<TFieldValue> TQRDataSet::CurrentRow() const {
    if (!FActive || FRecord >= FRows.size() || FEof) return {};
    std::vector<TFieldValue> row = FRows[FRecord];
    row.resize(FColumns.size());
    return row;
}

void TQRDataSet::SetActive(bool active) {
    if (Loading()) {
        FStreamedActive = active;
        return;
    }
    if (active)
        Open();
    else
        Close();
}

void TQRDataSet::Loaded() {
    if (FStreamedActive) Open();
}

void TQRDataSet::Open() {
    if (FActive) return;
    if (FSaved) {
        FActive = true;
        First();
        return;
    }
    std::vector<TColumn> columns;
    if (std::unique_ptr<TRowCursor> cursor = OpenCursor(columns)) {
        SetColumns(columns);
        FCursor = std::move(cursor);
        FRows.clear();
        FPastFirst = false;
        FCount = -2;
        FActive = true;
        try {
            First();
        } catch (...) {
            Close();
            throw;
        }
        return;
    }
    std::vector<std::vector<TFieldValue>> rows;
    ReadRecords(columns, rows);
    SetColumns(columns);
    for (auto& row : rows)
        row.resize(columns.size());
    FRows = std::move(rows);
    FActive = true;
    First();
}

void TQRDataSet::SetColumns(const std::vector<TColumn>& columns) {
    for (auto& f : FFields)
        f->FIndex = SIZE_MAX;
    FColumns.clear();
    for (size_t i = 0; i < columns.size(); ++i) {
        TQRField* field = nullptr;
        for (auto& f : FFields) {
            if (f->FIndex == SIZE_MAX && system::SameText(f->FName, columns[i].Name)) {
                field = f.get();
                break;
            }
        }
        if (!field) {
            FFields.push_back(std::make_unique<TQRField>(*this, columns[i].Name, columns[i].Type, i));
            field = FFields.back().get();
        }
        field->FIndex = i;
        field->FType = columns[i].Type;
        FColumns.push_back(field);
    }
}

// Through a cursor: the next row becomes the current record, the current one the record before.
bool TQRDataSet::FetchRow() {
    std::vector<TFieldValue> row(FColumns.size());
    if (!FCursor->Fetch(row)) return false;
    row.resize(FColumns.size());
    if (FRows.size() == 2) FRows.erase(FRows.begin());
    FRows.push_back(std::move(row));
    FRecord = FRows.size() - 1;
    return true;
}

void TQRDataSet::Close() {
    FActive = false;
    FRecord = 0;
    FEof = FBof = true;
    if (FSaved) return; // the slice stays to be read again
    FCursor.reset();
    FRows.clear();
    // Fields stay: evaluators prepared against them hold pointers until they are unprepared, and
    // a closed data set's fields read as null.
}

void TQRDataSet::First() {
    if (FCursor) {
        if (FPastFirst) {
            // Back to the start of a cursor: the query runs again (a cursor only goes forward).
            std::vector<TColumn> columns;
            FCursor.reset();
            FRows.clear();
            FPastFirst = false;
            FCursor = OpenCursor(columns);
            if (!FCursor) throw EQRError(Name() + ": the records cannot be read again");
        }
        if (FRows.empty()) FetchRow();
    }
    FRecord = 0;
    FBof = true;
    FEof = FRows.empty();
}

void TQRDataSet::Next() {
    if (!FActive || FRows.empty()) {
        FEof = true;
        return;
    }
    FBof = false;
    if (FRecord + 1 < FRows.size()) {
        ++FRecord;
    } else if (FCursor && !FEof && FetchRow()) {
        FPastFirst = true;
    } else {
        FEof = true;
    }
}

void TQRDataSet::Prior() {
    if (!FActive || FRows.empty()) {
        FBof = true;
        return;
    }
    // Stepping back from the end-of-data position lands on the last record again.
    if (FEof)
        FEof = false;
    else if (FRecord > 0)
        --FRecord;
    else
        FBof = true;
}

int TQRDataSet::RecordCount() const {
    if (!FActive) return 0;
    if (!FCursor) return static_cast<int>(FRows.size());
    if (FCount == -2) FCount = FCursor->Count();
    if (FCount < 0) return 0;
    return FCount > INT32_MAX ? INT32_MAX : static_cast<int>(FCount);
}

const TFieldValue& TQRDataSet::CurrentValue(size_t index) const {
    static const TFieldValue null;
    if (!FActive || FRecord >= FRows.size() || index == SIZE_MAX) return null;
    const auto& row = FRows[FRecord];
    return index < row.size() ? row[index] : null;
}

TQRField* TQRDataSet::FindField(std::string_view name) const {
    for (TQRField* f : FColumns) {
        if (system::SameText(f->FieldName(), name)) return f;
    }
    return nullptr;
}

TQRField& TQRDataSet::FieldByName(std::string_view name) const {
    if (TQRField* f = FindField(name)) return *f;
    throw EQRError(Name() + ": Field '" + std::string(name) + "' not found");
}

TQRParam* TQRDataSet::FindParam(std::string_view name) {
    auto* params = Params();
    if (!params) return nullptr;
    for (auto& p : *params) {
        if (system::SameText(p.Name, name)) return &p;
    }
    return nullptr;
}

const system::TPropertyList& TQRDataSet::ClassProperties() {
    static const system::TPropertyList list(
        &TComponent::ClassProperties(),
        {system::BoolProperty<TQRDataSet>("Active", &TQRDataSet::Active, &TQRDataSet::SetActive, false)});
    return list;
}

TQRField* FindDataField(const std::vector<TQRDataSet*>& dataSets, std::string_view qualifiedName) {
    if (const size_t dot = qualifiedName.find('.'); dot != std::string_view::npos) {
        const auto setName = qualifiedName.substr(0, dot);
        for (TQRDataSet* d : dataSets) {
            if (system::SameText(d->Name(), setName)) {
                if (TQRField* f = d->FindField(qualifiedName.substr(dot + 1))) return f;
            }
        }
    }
    for (TQRDataSet* d : dataSets) {
        if (TQRField* f = d->FindField(qualifiedName)) return f;
    }
    return nullptr;
}

TFieldType InferFieldType(const std::vector<std::vector<TFieldValue>>& rows, size_t column) {
    bool any = false, allInt = true, allNumber = true;
    for (const auto& row : rows) {
        if (column >= row.size()) continue;
        const TFieldValue& v = row[column];
        if (std::holds_alternative<std::monostate>(v)) continue;
        any = true;
        if (!std::holds_alternative<int64_t>(v)) allInt = false;
        if (!std::holds_alternative<int64_t>(v) && !std::holds_alternative<double>(v)) allNumber = false;
    }
    if (!any) return TFieldType::ftString;
    if (allInt) return TFieldType::ftInteger;
    if (allNumber) return TFieldType::ftFloat;
    return TFieldType::ftString;
}

std::string ResolvePath(const std::string& baseFolder, const std::string& name) {
    if (name.empty()) return name;
    const std::filesystem::path p(name);
    if (p.is_absolute() || baseFolder.empty()) return name;
    return (std::filesystem::path(baseFolder) / p).lexically_normal().string();
}

} // namespace pagimo::engine
