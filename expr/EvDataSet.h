#pragma once
// How expressions reach data fields. The report engine's data sets (tables, queries, CSV or
// in-memory sources) implement TQREvDataSet; the evaluator resolves "[Table.Field]" and
// "[Field]" through it once, at prepare time, and reads the field's value at every evaluation.

#include "expr/EvResult.h"

#include <string>
#include <string_view>
#include <vector>

namespace pagimo::expr {

// One field of a data set: its value in the data set's current record.
class TQREvField {
public:
    virtual ~TQREvField() = default;
    // Null fields yield the kind's empty value (0, "" or false); never an error for a valid field.
    virtual EvResult Value() const = 0;
    // The whole text or bytes of a text or binary field (a picture in a blob), which Value would cut
    // at MaxResultBytes; false for other kinds of value and for null.
    virtual bool Bytes(std::string&) const { return false; }
};

class TQREvDataSet {
public:
    virtual ~TQREvDataSet() = default;
    // The component name that "Table." in an expression matches (compared ignoring case).
    virtual std::string Name() const = 0;
    // The field of that name (ignoring case), or null. The field is owned by the data set and must
    // stay valid while an evaluator prepared against this data set lives or until it is unprepared.
    virtual const TQREvField* FindField(std::string_view name) const = 0;
};

// Borrowed data sets, searched in order.
using TQREvDataSets = std::vector<const TQREvDataSet*>;

} // namespace pagimo::expr
