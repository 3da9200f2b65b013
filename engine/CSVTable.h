#pragma once
// A comma-separated text file opened as a table: the first record names the fields.

#include "engine/DataSet.h"

#include <limits>

namespace pagimo::engine {

// Reads the records of CSV text one at a time (quoted fields, doubled quotes, CR LF or LF line ends, a
// UTF-8 byte-order mark skipped, blank lines no records), in time linear in the text. A record longer
// than maxRecordSize bytes ends the reading with an EQRError "<where>:<line>: reason".
class TCSVReader {
public:
    TCSVReader(std::string_view text, char delimiter, std::string where, int64_t maxRecordSize);
    // The next record: its first fields in fields (reused from record to record), how many it has
    // in count (which may be more than are kept, see SetMaxFields). False at the end of the text.
    bool Next(std::vector<std::string>& fields, size_t& count);
    // Keeps at most this many fields of a record (the rest are only counted).
    void SetMaxFields(size_t n) { FMaxFields = n; }
    size_t Offset() const { return FAt; }
    void Seek(size_t at) { FAt = at; }
    int RecordLine() const { return FRecordLine; }

private:
    [[noreturn]] void Fail(int line, const std::string& reason) const;
    std::string_view FText;
    char FDelimiter;
    std::string FWhere;
    int64_t FMaxRecordSize;
    size_t FAt = 0;
    int FLine = 1, FRecordLine = 1;
    size_t FMaxFields = std::numeric_limits<size_t>::max();
    std::string FSpare;
};

// CSV text read once for its columns: the header, each column's type (integer when all its values
// are, float when all are numbers, else string; empty fields are null) and where each record starts.
// Rows are split again when they are read, so a table takes little more memory than its text.
struct TCSVIndex {
    std::string Text;
    char Delimiter = ',';
    std::string Where;
    int64_t MaxValueSize = DefaultMaxValueSize;
    std::vector<TQRDataSet::TColumn> Columns;
    std::vector<size_t> Starts;
};
// Reads text into an index. dataSet names the data set for an interrupted run (empty: not polled).
// Throws EQRError "<where>:<line>: reason" or "<where>: record N has M fields, the header K".
std::shared_ptr<const TCSVIndex> IndexCSV(std::string text, char delimiter, const std::string& where,
                                          int64_t maxValueSize, const std::string& dataSet);

class TQRCSVTable : public TQRDataSet {
public:
    static const char* StaticClassName() { return "TQRCSVTable"; }
    const char* ClassName() const override { return StaticClassName(); }

    std::string FileName() const { return FFileName; }
    void SetFileName(const std::string& name);
    std::string FilePath() const { return ResolvePath(FBaseFolder, FFileName); }
    void SetBaseFolder(const std::string& folder) { FBaseFolder = folder; }
    // One character; "," unless set (";" is common where the comma is the decimal separator).
    std::string Delimiter() const { return std::string(1, FDelimiter); }
    void SetDelimiter(const std::string& delimiter); // throws EQRError unless one ASCII character
    // The longest record, in bytes, the file may hold.
    int64_t MaxValueSize() const { return FMaxValueSize; }
    void SetMaxValueSize(int64_t value);

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    std::unique_ptr<TRowCursor> OpenCursor(std::vector<TColumn>& columns) override;
    void Released() override;

private:
    std::string FFileName;
    std::string FBaseFolder;
    char FDelimiter = ',';
    int64_t FMaxValueSize = DefaultMaxValueSize;
    std::shared_ptr<const TCSVIndex> FIndex; // while open
};

// Parses CSV text (quoted fields, doubled quotes, CR LF or LF line ends, a UTF-8 byte-order mark)
// into a header and records. Empty fields are null; a column whose values are all integers
// (or all numbers) gets integer (or float) values. Throws EQRError "<where>:<line>: reason".
void ParseCSV(std::string_view text, char delimiter, const std::string& where, std::vector<std::string>& header,
              std::vector<std::vector<TFieldValue>>& rows);

// A table held in memory: filled by code, or from CSV lines in a description (Lines, first line the
// header).
class TQRMemoryTable : public TQRDataSet {
public:
    static const char* StaticClassName() { return "TQRMemoryTable"; }
    const char* ClassName() const override { return StaticClassName(); }

    void AddField(std::string name, TFieldType type);
    void AppendRecord(std::vector<TFieldValue> values);

    std::vector<std::string> Lines() const { return FLines; }
    void SetLines(const std::vector<std::string>& lines);

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void ReadRecords(std::vector<TColumn>& columns, std::vector<std::vector<TFieldValue>>& rows) override;

private:
    std::vector<TColumn> FColumns;
    std::vector<std::vector<TFieldValue>> FRecords;
    std::vector<std::string> FLines;
};

} // namespace pagimo::engine
