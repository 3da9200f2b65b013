#pragma once
// EvResult: the value every expression element computes and hands on.

#include <cstdint>
#include <string>
#include <string_view>

namespace pagimo::expr {

// In this order, as callers that switch on kinds (the expression control) expect.
enum TQREvResultType { resInt, resDouble, resString, resBool, resError };

// A kind and one value. StrResult holds the text of a string and the message of an error, both
// at most MaxResultBytes bytes (the factories cut longer texts at a character boundary and set Cut,
// which a concatenation passes on, so that whoever prints the value can say that text was lost).
struct EvResult {
    TQREvResultType Kind = resInt;
    int32_t IntResult = 0;
    double DblResult = 0.0;
    bool BooResult = false;
    std::string StrResult;
    bool Cut = false;

    static EvResult Int(int32_t value);
    static EvResult Float(double value);
    static EvResult String(std::string text);
    static EvResult Bool(bool value);
    static EvResult Error(std::string message);

    bool IsNumeric() const { return Kind == resInt || Kind == resDouble; }
    // The numeric value of an integer or float (0 for other kinds).
    double AsDouble() const { return Kind == resInt ? IntResult : Kind == resDouble ? DblResult : 0.0; }
};

// The text form used when a value is printed or meets a string: integers in decimal, floats in
// general format with the locale's decimal separator, booleans "True"/"False".
// Throws EQRError "Error in expression : <message>" for an error result.
std::string ResultText(const EvResult& result);

// "INTEGER", "FLOAT", "STRING", "BOOLEAN" or "ERROR".
const char* ResultKindName(TQREvResultType kind);

// Kind and value compare equal (floats by value, strings byte for byte).
bool operator==(const EvResult& a, const EvResult& b);

} // namespace pagimo::expr
