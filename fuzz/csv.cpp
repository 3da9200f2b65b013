// Fuzzes the CSV reader as a table reads a file: any text ends in an index or an EQRError, never a
// crash or a hang, and every indexed record splits again into a row of the header's width whose
// values have their column's type. The first byte picks the delimiter and the record-size limit.
// Seeds (fuzz/corpus/csv) are small files: quotes, doubled quotes, line breaks in quotes, CR LF,
// a byte-order mark, ragged and blank records, numbers that turn a column to text.

#include "engine/CSVTable.h"
#include "platform/system/Errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace pagimo::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const char delimiters[] = {',', ';', '\t', '|'};
    const char delimiter = delimiters[data[0] % 4];
    const int64_t limit = (data[0] & 0x80) ? 64 : DefaultMaxValueSize;
    std::vector<std::string> header;
    std::vector<std::vector<TFieldValue>> rows;
    try {
        const auto index =
            IndexCSV(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), delimiter, "fuzz.csv", limit, {});
        TCSVReader reader(index->Text, delimiter, "fuzz.csv", limit);
        std::vector<std::string> fields;
        for (const size_t at : index->Starts) {
            size_t count = 0;
            reader.Seek(at);
            if (!reader.Next(fields, count) || count > index->Columns.size()) std::abort();
            for (size_t c = 0; c < count; ++c) {
                const TFieldType type = index->Columns[c].Type;
                if (fields[c].empty() || type == TFieldType::ftString) continue;
                if (type != TFieldType::ftInteger && type != TFieldType::ftFloat) std::abort();
            }
        }
        ParseCSV(index->Text, delimiter, "fuzz.csv", header, rows);
        if (header.size() != index->Columns.size() || rows.size() != index->Starts.size()) std::abort();
        for (const auto& row : rows)
            if (row.size() != header.size()) std::abort();
    } catch (const pagimo::EQRError&) {
    }
    return 0;
}
