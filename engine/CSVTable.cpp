#include "engine/CSVTable.h"

#include "platform/system/Errors.h"

#include <charconv>
#include <cstring>
#include <fstream>

namespace pagimo::engine {

namespace {

// The value a field's text stands for, before column typing: integers and plain decimal numbers
// become numbers, everything else stays text.
TFieldValue Typed(const std::string& text) {
    if (text.empty()) return std::monostate{};
    int64_t i = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), i);
    if (ec == std::errc() && end == text.data() + text.size()) return i;
    double d = 0;
    auto [dend, dec] = std::from_chars(text.data(), text.data() + text.size(), d, std::chars_format::fixed);
    if (dec == std::errc() && dend == text.data() + text.size()) return d;
    return text;
}

constexpr size_t MaxCSVSize = 256u << 20;

} // namespace

void ParseCSV(std::string_view text, char delimiter, const std::string& where, std::vector<std::string>& header,
              std::vector<std::vector<TFieldValue>>& rows) {
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) text.remove_prefix(3);
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    int line = 1;
    size_t i = 0;
    bool fieldStarted = false;
    auto endField = [&] {
        record.push_back(std::move(field));
        field.clear();
        fieldStarted = false;
    };
    auto endRecord = [&] {
        endField();
        // A blank line is no record.
        if (!(record.size() == 1 && record[0].empty())) records.push_back(std::move(record));
        record.clear();
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && !fieldStarted) {
            const int startLine = line;
            ++i;
            for (;;) {
                if (i >= text.size())
                    throw EQRError(where + ":" + std::to_string(startLine) + ": unterminated quoted field");
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == '\n') ++line;
                field += text[i++];
            }
            fieldStarted = true;
            if (i < text.size() && text[i] != delimiter && text[i] != '\n' && text[i] != '\r') {
                throw EQRError(where + ":" + std::to_string(line) + ": text after a quoted field");
            }
        } else if (c == delimiter) {
            endField();
            ++i;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++i;
            endRecord();
            ++line;
        } else {
            field += c;
            fieldStarted = true;
            ++i;
        }
    }
    if (fieldStarted || !record.empty()) endRecord();
    if (records.empty()) throw EQRError(where + ":1: no header line");
    header = std::move(records.front());
    rows.clear();
    for (size_t r = 1; r < records.size(); ++r) {
        if (records[r].size() > header.size()) {
            throw EQRError(where + ": record " + std::to_string(r) + " has " + std::to_string(records[r].size()) +
                           " fields, the header " + std::to_string(header.size()));
        }
        std::vector<TFieldValue> row;
        for (auto& f : records[r])
            row.push_back(Typed(f));
        row.resize(header.size());
        rows.push_back(std::move(row));
    }
    // A column is numeric only when all its values are; otherwise its numbers go back to their text.
    for (size_t c = 0; c < header.size(); ++c) {
        const TFieldType t = InferFieldType(rows, c);
        for (size_t r = 0; r < rows.size(); ++r) {
            TFieldValue& v = rows[r][c];
            if (t == TFieldType::ftString && !std::holds_alternative<std::string>(v) &&
                !std::holds_alternative<std::monostate>(v)) {
                v = records[r + 1][c];
            } else if (t == TFieldType::ftFloat && std::holds_alternative<int64_t>(v)) {
                v = static_cast<double>(std::get<int64_t>(v));
            }
        }
    }
}

void TQRCSVTable::SetFileName(const std::string& name) {
    if (name == FFileName) return;
    Close();
    FFileName = name;
}

void TQRCSVTable::SetDelimiter(const std::string& delimiter) {
    if (delimiter.size() != 1 || delimiter[0] == '"' || delimiter[0] == '\n' || delimiter[0] == '\r' ||
        static_cast<unsigned char>(delimiter[0]) >= 0x80) {
        throw EQRError("the delimiter must be one character");
    }
    Close();
    FDelimiter = delimiter[0];
}

void TQRCSVTable::ReadRecords(std::vector<TColumn>& columns, std::vector<std::vector<TFieldValue>>& rows) {
    const std::string path = FilePath();
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EQRError(FormatMessage("Cannot open file %s", path));
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size < 0) throw EQRError(FormatMessage("Cannot open file %s", path));
    if (static_cast<uint64_t>(size) > MaxCSVSize) throw EQRError(path + ": file too large");
    in.seekg(0);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), size)) throw EQRError(FormatMessage("Cannot open file %s", path));
    std::vector<std::string> header;
    ParseCSV(text, FDelimiter, path, header, rows);
    columns.clear();
    for (size_t c = 0; c < header.size(); ++c)
        columns.push_back({header[c], InferFieldType(rows, c)});
}

const system::TPropertyList& TQRCSVTable::ClassProperties() {
    using namespace system;
    static const TPropertyList list(
        &TQRDataSet::ClassProperties(),
        {StringProperty<TQRCSVTable>("Delimiter", &TQRCSVTable::Delimiter, &TQRCSVTable::SetDelimiter),
         {"FileName",
          [](TPersistent& o, const TFormValue& v, TLoadContext& ctx) {
              auto& t = static_cast<TQRCSVTable&>(o);
              t.SetFileName(StringValue(v));
              t.SetBaseFolder(ctx.BaseFolder());
          },
          [](const TPersistent& o) -> std::optional<TFormValue> {
              const auto& t = static_cast<const TQRCSVTable&>(o);
              if (t.FileName().empty()) return std::nullopt;
              return TFormValue::Str(t.FileName());
          },
          nullptr, "String", nullptr, false, TFormValue::Str({})}});
    return list;
}

void TQRMemoryTable::AddField(std::string name, TFieldType type) {
    Close();
    FColumns.push_back({std::move(name), type});
}

void TQRMemoryTable::AppendRecord(std::vector<TFieldValue> values) {
    values.resize(FColumns.size());
    FRecords.push_back(std::move(values));
}

void TQRMemoryTable::SetLines(const std::vector<std::string>& lines) {
    Close();
    FLines = lines;
    std::string text;
    for (const auto& l : lines)
        text += l + "\n";
    std::vector<std::string> header;
    std::vector<std::vector<TFieldValue>> rows;
    ParseCSV(text, ',', Name().empty() ? "Lines" : Name() + ".Lines", header, rows);
    FColumns.clear();
    for (size_t c = 0; c < header.size(); ++c)
        FColumns.push_back({header[c], InferFieldType(rows, c)});
    FRecords = std::move(rows);
}

void TQRMemoryTable::ReadRecords(std::vector<TColumn>& columns, std::vector<std::vector<TFieldValue>>& rows) {
    columns = FColumns;
    rows = FRecords;
}

const system::TPropertyList& TQRMemoryTable::ClassProperties() {
    static const system::TPropertyList list(
        &TQRDataSet::ClassProperties(),
        {system::StringListProperty<TQRMemoryTable>("Lines", &TQRMemoryTable::Lines, &TQRMemoryTable::SetLines)});
    return list;
}

} // namespace pagimo::engine
