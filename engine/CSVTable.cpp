#include "engine/CSVTable.h"

#include "engine/RunInterrupted.h"
#include "platform/system/Errors.h"

#include <charconv>
#include <cstring>
#include <fstream>

namespace pagimo::engine {

namespace {

// The value a field's text stands for, before column typing: integers and plain decimal numbers
// become numbers, everything else stays text.
TFieldValue Typed(std::string_view text) {
    if (text.empty()) return std::monostate{};
    int64_t i = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), i);
    if (ec == std::errc() && end == text.data() + text.size()) return i;
    double d = 0;
    auto [dend, dec] = std::from_chars(text.data(), text.data() + text.size(), d, std::chars_format::fixed);
    if (dec == std::errc() && dend == text.data() + text.size()) return d;
    return std::string(text);
}

constexpr size_t MaxCSVSize = 256u << 20;

// What the values of one column were: the column's type once all records are seen.
struct TColumnKind {
    bool Any = false, AllInt = true, AllNumber = true;
    void See(std::string_view text) {
        if (text.empty() || (!AllInt && !AllNumber)) {
            Any = Any || !text.empty();
            return;
        }
        Any = true;
        const char* end = text.data() + text.size();
        int64_t i = 0;
        if (auto [at, ec] = std::from_chars(text.data(), end, i); ec == std::errc() && at == end) return;
        AllInt = false;
        double d = 0;
        if (auto [at, ec] = std::from_chars(text.data(), end, d, std::chars_format::fixed);
            ec == std::errc() && at == end)
            return;
        AllNumber = false;
    }
    TFieldType Type() const {
        if (!Any) return TFieldType::ftString;
        if (AllInt) return TFieldType::ftInteger;
        if (AllNumber) return TFieldType::ftFloat;
        return TFieldType::ftString;
    }
};

// A field's text as a value of its column's type.
TFieldValue ValueOfType(const std::string& text, TFieldType type) {
    if (text.empty()) return std::monostate{};
    if (type == TFieldType::ftString) return text;
    TFieldValue v = Typed(text);
    if (type == TFieldType::ftFloat)
        if (const auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
    return v;
}

// The rows of an indexed text, split again as the report reads them.
class TCSVCursor : public TQRDataSet::TRowCursor {
public:
    explicit TCSVCursor(std::shared_ptr<const TCSVIndex> index)
        : FIndex(std::move(index)), FReader(FIndex->Text, FIndex->Delimiter, FIndex->Where, FIndex->MaxValueSize) {
        FReader.SetMaxFields(FIndex->Columns.size());
    }
    bool Fetch(std::vector<TFieldValue>& row) override {
        if (FNext >= FIndex->Starts.size()) return false;
        FReader.Seek(FIndex->Starts[FNext++]);
        size_t count = 0;
        FReader.Next(FFields, count);
        row.assign(FIndex->Columns.size(), TFieldValue{});
        for (size_t c = 0; c < count && c < row.size(); ++c)
            row[c] = ValueOfType(FFields[c], FIndex->Columns[c].Type);
        return true;
    }
    int64_t Count() override { return static_cast<int64_t>(FIndex->Starts.size()); }

private:
    std::shared_ptr<const TCSVIndex> FIndex;
    TCSVReader FReader;
    size_t FNext = 0;
    std::vector<std::string> FFields;
};

} // namespace

TCSVReader::TCSVReader(std::string_view text, char delimiter, std::string where, int64_t maxRecordSize)
    : FText(text), FDelimiter(delimiter), FWhere(std::move(where)), FMaxRecordSize(maxRecordSize) {
    if (FText.size() >= 3 && std::memcmp(FText.data(), "\xEF\xBB\xBF", 3) == 0) FAt = 3;
}

[[noreturn]] void TCSVReader::Fail(int line, const std::string& reason) const {
    throw EQRError(FWhere + ":" + std::to_string(line) + ": " + reason);
}

bool TCSVReader::Next(std::vector<std::string>& fields, size_t& count) {
    const std::string_view text = FText;
    for (;;) {
        if (FAt >= text.size()) return false;
        const size_t start = FAt;
        const int startLine = FLine;
        count = 0;
        bool fieldStarted = false;
        // Fields past the most a record may have are counted, not kept.
        auto field = [&]() -> std::string& {
            if (count >= FMaxFields) return FSpare;
            if (count == fields.size()) fields.emplace_back();
            return fields[count];
        };
        field().clear();
        auto endField = [&] {
            ++count;
            fieldStarted = false;
            field().clear();
        };
        bool ended = false;
        while (FAt < text.size() && !ended) {
            if (FAt - start > static_cast<size_t>(FMaxRecordSize))
                Fail(startLine, "a record is longer than " + std::to_string(FMaxRecordSize) +
                                    " bytes (MaxValueSize sets the limit)");
            const char c = text[FAt];
            if (c == '"' && !fieldStarted) {
                std::string& f = field();
                ++FAt;
                for (;;) {
                    // Runs of plain characters at once: linear in the field whatever its length.
                    const size_t stop = text.find('"', FAt);
                    if (stop == std::string_view::npos) Fail(startLine, "unterminated quoted field");
                    if (stop - start > static_cast<size_t>(FMaxRecordSize))
                        Fail(startLine, "a record is longer than " + std::to_string(FMaxRecordSize) +
                                            " bytes (MaxValueSize sets the limit)");
                    for (size_t k = FAt; k < stop; ++k)
                        FLine += text[k] == '\n';
                    f.append(text.substr(FAt, stop - FAt));
                    FAt = stop + 1;
                    if (FAt < text.size() && text[FAt] == '"') {
                        f += '"';
                        ++FAt;
                        continue;
                    }
                    break;
                }
                fieldStarted = true;
                if (FAt < text.size() && text[FAt] != FDelimiter && text[FAt] != '\n' && text[FAt] != '\r')
                    Fail(FLine, "text after a quoted field");
            } else if (c == FDelimiter) {
                endField();
                ++FAt;
            } else if (c == '\r' || c == '\n') {
                if (c == '\r' && FAt + 1 < text.size() && text[FAt + 1] == '\n') ++FAt;
                ++FAt;
                ++FLine;
                ended = true;
            } else {
                // Up to the next delimiter, quote or line end in one piece.
                size_t stop = FAt;
                while (stop < text.size() && text[stop] != FDelimiter && text[stop] != '\n' && text[stop] != '\r')
                    ++stop;
                field().append(text.substr(FAt, stop - FAt));
                fieldStarted = true;
                FAt = stop;
            }
        }
        if (FAt - start > static_cast<size_t>(FMaxRecordSize))
            Fail(startLine,
                 "a record is longer than " + std::to_string(FMaxRecordSize) + " bytes (MaxValueSize sets the limit)");
        ++count; // the last field of the record
        // A blank line is no record.
        if (count == 1 && (FMaxFields == 0 ? FSpare.empty() : fields[0].empty())) continue;
        FRecordLine = startLine;
        return true;
    }
}

std::shared_ptr<const TCSVIndex> IndexCSV(std::string text, char delimiter, const std::string& where,
                                          int64_t maxValueSize, const std::string& dataSet) {
    auto index = std::make_shared<TCSVIndex>();
    index->Text = std::move(text);
    index->Delimiter = delimiter;
    index->Where = where;
    index->MaxValueSize = maxValueSize;
    TCSVReader reader(index->Text, delimiter, where, maxValueSize);
    std::vector<std::string> fields;
    size_t count = 0;
    if (!reader.Next(fields, count)) throw EQRError(where + ":1: no header line");
    const size_t width = count;
    index->Columns.reserve(width);
    for (size_t c = 0; c < width; ++c)
        index->Columns.push_back({std::move(fields[c]), TFieldType::ftString});
    reader.SetMaxFields(width + 1);
    std::vector<TColumnKind> kinds(width);
    for (size_t record = 1;; ++record) {
        if (record % 4096 == 0 && !dataSet.empty()) PollTermination("while reading " + dataSet);
        const size_t at = reader.Offset();
        if (!reader.Next(fields, count)) break;
        if (count > width) {
            throw EQRError(where + ": record " + std::to_string(record) + " has " + std::to_string(count) +
                           " fields, the header " + std::to_string(width));
        }
        index->Starts.push_back(at);
        for (size_t c = 0; c < count; ++c)
            kinds[c].See(fields[c]);
    }
    // A column is numeric only when all its values are; otherwise its numbers stay their text.
    for (size_t c = 0; c < width; ++c)
        index->Columns[c].Type = kinds[c].Type();
    return index;
}

void ParseCSV(std::string_view text, char delimiter, const std::string& where, std::vector<std::string>& header,
              std::vector<std::vector<TFieldValue>>& rows) {
    const auto index = IndexCSV(std::string(text), delimiter, where, DefaultMaxValueSize, {});
    header.clear();
    for (const auto& column : index->Columns)
        header.push_back(column.Name);
    rows.clear();
    TCSVCursor cursor(index);
    for (std::vector<TFieldValue> row; cursor.Fetch(row);)
        rows.push_back(std::move(row));
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

void TQRCSVTable::SetMaxValueSize(int64_t value) {
    Close();
    FMaxValueSize = value > 0 ? value : DefaultMaxValueSize;
}

void TQRCSVTable::Released() {
    FIndex.reset();
}

std::unique_ptr<TQRDataSet::TRowCursor> TQRCSVTable::OpenCursor(std::vector<TColumn>& columns) {
    // Going back to the first record of an open table reads the index again, not the file.
    if (!Active() || !FIndex) {
        FIndex.reset();
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
        FIndex = IndexCSV(std::move(text), FDelimiter, path, FMaxValueSize, Name());
    }
    columns = FIndex->Columns;
    return std::make_unique<TCSVCursor>(FIndex);
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
          nullptr, "String", nullptr, false, TFormValue::Str({})},
         Int64Property<TQRCSVTable>("MaxValueSize", &TQRCSVTable::MaxValueSize, &TQRCSVTable::SetMaxValueSize,
                                    DefaultMaxValueSize)});
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
