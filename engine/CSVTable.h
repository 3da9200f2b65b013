#pragma once
// A comma-separated text file opened as a table: the first record names the fields.

#include "engine/DataSet.h"

namespace pagimo::engine {

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

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void ReadRecords(std::vector<TColumn>& columns, std::vector<std::vector<TFieldValue>>& rows) override;

private:
    std::string FFileName;
    std::string FBaseFolder;
    char FDelimiter = ',';
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
