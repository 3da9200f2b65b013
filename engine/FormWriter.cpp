#include "engine/FormReader.h"

#include <cstdio>

namespace pagimo::engine {

using system::TComponent;
using system::TFormValue;
using system::TPersistent;

namespace {

// Printable text stays quoted as it is (UTF-8 included); quotes are doubled and control
// characters become character codes, so every string fits on one line.
std::string QuoteString(const std::string& s) {
    if (s.empty()) return "''";
    std::string out;
    bool inQuotes = false;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            if (inQuotes) out += '\'';
            inQuotes = false;
            out += '#' + std::to_string(c);
        } else {
            if (!inQuotes) out += '\'';
            inQuotes = true;
            out += ch;
            if (ch == '\'') out += '\'';
        }
    }
    if (inQuotes) out += '\'';
    return out;
}

// Fifteen significant digits: what stored descriptions carry, and what reads back unchanged.
std::string FormatFloat(long double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15Lg", v);
    std::string s = buf;
    if (s.find_first_of("eE") != std::string::npos && s.find('.') == std::string::npos) {
        // 1e+20 must stay a float when read back
        s.insert(s.find_first_of("eE"), ".0");
    }
    return s;
}

// One value on one line, as a description spells it; lists in parentheses, binary data elided.
std::string ScalarText(const TFormValue& v) {
    switch (v.Kind) {
    case TFormValue::fvInteger:
        return std::to_string(v.Integer);
    case TFormValue::fvFloat:
        return FormatFloat(v.Float);
    case TFormValue::fvString:
        return QuoteString(v.Text);
    case TFormValue::fvIdent:
        return v.Text;
    case TFormValue::fvSet: {
        std::string s = "[";
        for (size_t i = 0; i < v.Names.size(); ++i) {
            if (i) s += ", ";
            s += v.Names[i];
        }
        return s + "]";
    }
    default:
        return {};
    }
}

class TWriter {
public:
    std::string Out;

    void WriteObject(const TComponent& c, int indent) {
        Line(indent, "object " + (c.Name().empty() ? std::string() : c.Name() + ": ") + c.ClassName());
        WriteProperties(c, "", indent + 1);
        for (const auto& [event, handler] : c.EventHandlers())
            Line(indent + 1, event + " = " + handler);
        for (const TComponent* child : c.GetChildren())
            WriteObject(*child, indent + 1);
        Line(indent, "end");
    }

private:
    void Line(int indent, const std::string& text) {
        Out.append(static_cast<size_t>(indent) * 2, ' ');
        Out += text;
        Out += '\n';
    }

    void WriteProperties(const TPersistent& o, const std::string& prefix, int indent) {
        for (const auto& p : o.Properties().All()) {
            if (p.Object) {
                if (TPersistent* sub = p.Object(const_cast<TPersistent&>(o))) {
                    WriteProperties(*sub, prefix + p.Name + ".", indent);
                }
                continue;
            }
            if (!p.Read) continue;
            const std::optional<TFormValue> v = p.Read(o);
            if (!v) continue;
            WriteValue(prefix + p.Name + " = ", *v, indent);
        }
    }

    static std::string Scalar(const TFormValue& v) { return ScalarText(v); }

    void WriteValue(const std::string& head, const TFormValue& v, int indent) {
        switch (v.Kind) {
        case TFormValue::fvList: {
            if (v.Items.empty()) {
                Line(indent, head + "()");
                return;
            }
            Line(indent, head + "(");
            for (size_t i = 0; i < v.Items.size(); ++i) {
                Line(indent + 1, Scalar(v.Items[i]) + (i + 1 == v.Items.size() ? ")" : ""));
            }
            return;
        }
        case TFormValue::fvBinary: {
            Line(indent, head + "{");
            static const char* hex = "0123456789ABCDEF";
            std::string row;
            for (size_t i = 0; i < v.Bytes.size(); ++i) {
                row += hex[v.Bytes[i] >> 4];
                row += hex[v.Bytes[i] & 15];
                if (row.size() == 64 && i + 1 < v.Bytes.size()) {
                    Line(indent + 1, row);
                    row.clear();
                }
            }
            Line(indent + 1, row + "}");
            return;
        }
        case TFormValue::fvCollection: {
            Line(indent, head + "<");
            for (size_t i = 0; i < v.Elements.size(); ++i) {
                Line(indent + 1, "item");
                for (const auto& a : v.Elements[i].Properties)
                    WriteValue(a.Name + " = ", a.Value, indent + 2);
                Line(indent + 1, i + 1 == v.Elements.size() ? "end>" : "end");
            }
            if (v.Elements.empty()) Out.back() = '>', Out += '\n';
            return;
        }
        default:
            Line(indent, head + Scalar(v));
        }
    }
};

} // namespace

std::string FormValueText(const TFormValue& v) {
    switch (v.Kind) {
    case TFormValue::fvList: {
        std::string s = "(";
        for (size_t i = 0; i < v.Items.size(); ++i) {
            if (i) s += ' ';
            s += ScalarText(v.Items[i]);
        }
        return s + ")";
    }
    case TFormValue::fvBinary:
        return "{...}";
    case TFormValue::fvCollection:
        return "<...>";
    default:
        return ScalarText(v);
    }
}

std::string WriteForm(const TComponent& root) {
    TWriter w;
    w.WriteObject(root, 0);
    return w.Out;
}

} // namespace pagimo::engine
