#pragma once
// The data-set layer: what a controller needs to walk records (active test, first, next, prior,
// end-of-data, record count; for a parameterised query its parameters, close and open), and the
// fields that expressions read as [Field] or [DataSet.Field].
//
// Tables from files and memory read all records when they open and keep them in memory. Database
// data sets hand out rows through a cursor instead: only the current record and the one before it
// are kept (a controller steps back one record at every group change to print the group footers),
// so memory does not grow with the number of records.

#include "expr/EvDataSet.h"
#include "platform/system/Component.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pagimo::engine {

enum class TFieldType {
    ftUnknown,
    ftString,
    ftInteger,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBlob
};
const system::TEnumInfo& FieldTypeInfo();

// One value of a record: null, integer, float, text (UTF-8) or Boolean.
using TFieldValue = std::variant<std::monostate, int64_t, double, std::string, bool>;

class TQRDataSet;

// A field value as expressions see it: integers that fit 32 bits stay integers, larger ones become
// floating point; null is the empty value of the field's kind (0, "" or false).
expr::EvResult ToEvResult(const TFieldValue& value, TFieldType type);
// An expression result as a field value (errors: null).
TFieldValue FromEvResult(const expr::EvResult& result);

class TQRField : public expr::TQREvField {
public:
    TQRField(TQRDataSet& dataSet, std::string name, TFieldType type, size_t index)
        : FDataSet(dataSet), FName(std::move(name)), FType(type), FIndex(index) {}
    const std::string& FieldName() const { return FName; }
    TFieldType DataType() const { return FType; }
    TQRDataSet& DataSet() const { return FDataSet; }
    // The value in the data set's current record; null when there is no current record.
    const TFieldValue& FieldValue() const;
    expr::EvResult Value() const override { return ToEvResult(FieldValue(), FType); }
    bool Bytes(std::string& out) const override {
        const auto* s = std::get_if<std::string>(&FieldValue());
        if (s) out = *s;
        return s != nullptr;
    }
    bool IsNull() const { return std::holds_alternative<std::monostate>(FieldValue()); }
    std::string AsString() const;

private:
    friend class TQRDataSet;
    TQRDataSet& FDataSet;
    std::string FName;
    TFieldType FType;
    size_t FIndex; // column in the current records; SIZE_MAX once the column is gone
    size_t FOrder = 0; // place among the data set's fields, oldest first
};

// A query parameter (":name" in the SQL). SQLite types values, not parameters, so a parameter read
// from SQL has type ftUnknown and takes a value of any kind.
struct TQRParam {
    std::string Name; // without the colon
    TFieldType DataType = TFieldType::ftUnknown;
    TFieldValue Value;
};

class TQRDataSet : public system::TComponent {
public:
    TQRDataSet();
    ~TQRDataSet() override;

    bool Active() const { return FActive; }
    // While loading, Active = True is remembered and the data set opens after loading.
    void SetActive(bool active);
    void Open(); // throws EQRError when the source cannot be read
    void Close();

    void First();
    void Next();
    void Prior();
    bool Eof() const { return FEof; }
    bool Bof() const { return FBof; }
    int RecordCount() const; // 0 when closed
    int RecNo() const { return static_cast<int>(FRecord) + 1; }

    size_t FieldCount() const { return FColumns.size(); }
    TQRField& Fields(size_t index) const { return *FColumns.at(index); }
    TQRField* FindField(std::string_view name) const;   // ignoring case; null when absent
    TQRField& FieldByName(std::string_view name) const; // throws EQRError "Field 'X' not found"

    // Bursting, one run per key: while a slice is served the data set's records are these rows alone
    // (First, Next, Prior, Eof, RecordCount and the fields see only them; each row holds a value per
    // field, as CurrentRow gives them) and its own records wait where they were. Close and Open keep
    // the slice, so a run that refreshes a parameterised query reads the slice again. EndSlice goes
    // back to the data set's own records at the place they were left.
    void BeginSlice(std::vector<std::vector<TFieldValue>> rows);
    void EndSlice();
    bool Sliced() const { return FSaved != nullptr; }
    // The current record's values, one per field; empty when there is no current record.
    std::vector<TFieldValue> CurrentRow() const;

    // Parameterised queries override these; a plain table has none.
    virtual std::vector<TQRParam>* Params() { return nullptr; }
    TQRParam* FindParam(std::string_view name);

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

    // The value of field `index` in the current record (for TQRField).
    const TFieldValue& CurrentValue(size_t index) const;

    // A column of the source, as a data set reads it.
    struct TColumn {
        std::string Name;
        TFieldType Type;
    };

    // Rows one at a time, forward only (a database statement).
    class TRowCursor {
    public:
        virtual ~TRowCursor() = default;
        // The next row into row (as many values as columns); false at the end. Throws EQRError.
        virtual bool Fetch(std::vector<TFieldValue>& row) = 0;
        // The number of rows of the whole result, or -1 when it cannot be told. Throws EQRError.
        virtual int64_t Count() { return -1; }
    };

    // The data set as expressions reach it: "[Name.Field]" and "[Field]".
    const expr::TQREvDataSet& EvDataSet() const { return FEvDataSet; }

protected:
    // Reads the source: the columns and every record (data sets without a cursor). Throws EQRError.
    virtual void ReadRecords(std::vector<TColumn>&, std::vector<std::vector<TFieldValue>>&) {}

    // Opens a cursor and sets columns; null (the default) reads everything through ReadRecords.
    // First after the first record reopens the cursor. Throws EQRError.
    virtual std::unique_ptr<TRowCursor> OpenCursor(std::vector<TColumn>&) { return nullptr; }
    // Called when the data set closes, for what a source keeps while it is open.
    virtual void Released() {}
    void Loaded() override;

private:
    class TEvDataSet : public expr::TQREvDataSet {
    public:
        explicit TEvDataSet(const TQRDataSet& owner) : FOwner(owner) {}
        std::string Name() const override { return FOwner.Name(); }
        const expr::TQREvField* FindField(std::string_view name) const override { return FOwner.FindField(name); }

    private:
        const TQRDataSet& FOwner;
    };
    TEvDataSet FEvDataSet{*this};
    bool FActive = false;
    bool FStreamedActive = false;
    // Every field ever made lives as long as the data set: expressions prepared against a field keep
    // it across a close and reopen (a query refreshed with new parameters). FColumns are the current
    // columns' fields.
    std::vector<std::unique_ptr<TQRField>> FFields;
    std::vector<TQRField*> FColumns;
    // In memory: every record. Through a cursor: the record before the current one and the current
    // one (or the current one alone).
    std::vector<std::vector<TFieldValue>> FRows;
    std::unique_ptr<TRowCursor> FCursor;
    bool FPastFirst = false;        // the cursor has handed out more than the first record
    mutable int64_t FCount = -2;    // the cursor's record count once asked; -2 not yet
    void SetColumns(const std::vector<TColumn>& columns);
    bool FetchRow();
    size_t FRecord = 0;
    bool FEof = true;
    bool FBof = true;
    // The data set's own records while a slice is served.
    struct TSavedRecords;
    std::unique_ptr<TSavedRecords> FSaved;
};

// Finds the field an expression names: "name" in the first data set that has it, or
// "dataset.name" in the named data set. Null when there is none.
TQRField* FindDataField(const std::vector<TQRDataSet*>& dataSets, std::string_view qualifiedName);

// The type a column gets from its values when the source declares none: integer when every
// non-null value is an integer, float when every one is a number, otherwise string.
TFieldType InferFieldType(const std::vector<std::vector<TFieldValue>>& rows, size_t column);

// The largest value (text or bytes) a data set reads unless its MaxValueSize says otherwise: a value
// beyond it ends the run with a message instead of taking the memory it claims.
constexpr int64_t DefaultMaxValueSize = 16 << 20;
// "<name>: a value is larger than <limit> bytes (MaxValueSize sets the limit)".
std::string ValueTooLarge(const std::string& dataSet, int64_t limit);

// A published 64-bit integer property (the limits of data sets and runs), stored unless it has its
// default.
template <class C>
system::TPropertyInfo Int64Property(std::string name, int64_t (C::*get)() const, void (C::*set)(int64_t), int64_t def) {
    return system::TPropertyInfo{std::move(name),
                                 [set](system::TPersistent& o, const system::TFormValue& v, system::TLoadContext&) {
                                     (static_cast<C&>(o).*set)(system::IntegerValue(v));
                                 },
                                 [get, def](const system::TPersistent& o) -> std::optional<system::TFormValue> {
                                     const int64_t value = (static_cast<const C&>(o).*get)();
                                     if (value == def) return std::nullopt;
                                     return system::TFormValue::Int(value);
                                 },
                                 nullptr,
                                 "Integer",
                                 nullptr,
                                 false,
                                 system::TFormValue::Int(def)};
}

// Folder-relative file names: a relative name in a description is taken from the description's folder.
std::string ResolvePath(const std::string& baseFolder, const std::string& name);

} // namespace pagimo::engine
