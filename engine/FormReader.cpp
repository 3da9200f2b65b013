#include "engine/FormReader.h"

#include "platform/system/Utf8.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pagimo::engine {

using system::TComponent;
using system::TFormItem;
using system::TFormValue;
using system::TPersistent;

EFormError::EFormError(std::string file, int line, std::string reason)
    : EQRError(file + ":" + std::to_string(line) + ": " + reason), FFile(std::move(file)), FLine(line),
      FReason(std::move(reason)) {}

namespace {

enum class TTok { End, Ident, Integer, Float, String, Symbol, Binary };

struct TToken {
    TTok Kind = TTok::End;
    std::string Text; // identifier, decoded string, hex digits, or the symbol
    int64_t Integer = 0;
    long double Float = 0;
    int Line = 1;
};

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

class TLexer {
public:
    TLexer(std::string_view text, const std::string& file) : FText(text), FFile(file) {
        if (FText.size() >= 3 && std::memcmp(FText.data(), "\xEF\xBB\xBF", 3) == 0) FPos = 3;
    }

    [[noreturn]] void Fail(int line, const std::string& reason) const { throw EFormError(FFile, line, reason); }
    const std::string& File() const { return FFile; }

    const TToken& Peek() {
        if (!FHasPeek) {
            FPeek = Scan();
            FHasPeek = true;
        }
        return FPeek;
    }
    TToken Next() {
        Peek();
        FHasPeek = false;
        return std::move(FPeek);
    }
    bool PeekSymbol(const char* s) { return Peek().Kind == TTok::Symbol && Peek().Text == s; }
    void ExpectSymbol(const char* s) {
        TToken t = Next();
        if (t.Kind != TTok::Symbol || t.Text != s)
            Fail(t.Line, std::string("expected '") + s + "', found " + Describe(t));
    }
    static std::string Describe(const TToken& t) {
        switch (t.Kind) {
        case TTok::End:
            return "end of file";
        case TTok::Ident:
            return "'" + t.Text + "'";
        case TTok::Integer:
        case TTok::Float:
            return "a number";
        case TTok::String:
            return "a string";
        case TTok::Binary:
            return "binary data";
        case TTok::Symbol:
            return "'" + t.Text + "'";
        }
        return "?";
    }

    // Binary data is scanned on request, because '{' only means it after '='.
    TToken ScanBinary(int line) {
        TToken t;
        t.Kind = TTok::Binary;
        t.Line = line;
        for (;;) {
            if (FPos >= FText.size()) Fail(line, "unterminated binary data");
            const char c = FText[FPos++];
            if (c == '}') break;
            if (c == '\n') ++FLine;
            if (std::isspace(static_cast<unsigned char>(c))) continue;
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                Fail(FLine, std::string("invalid character in binary data"));
            t.Text += c;
        }
        if (t.Text.size() % 2) Fail(line, "odd number of hex digits in binary data");
        return t;
    }

private:
    std::string_view FText;
    std::string FFile;
    size_t FPos = 0;
    int FLine = 1;
    TToken FPeek;
    bool FHasPeek = false;

    void SkipSpace() {
        while (FPos < FText.size()) {
            const char c = FText[FPos];
            if (c == '\n') ++FLine;
            if (!std::isspace(static_cast<unsigned char>(c))) break;
            ++FPos;
        }
    }

    TToken Scan() {
        SkipSpace();
        TToken t;
        t.Line = FLine;
        if (FPos >= FText.size()) return t;
        const char c = FText[FPos];
        if (IsIdentStart(c)) {
            const size_t start = FPos;
            // Qualified names (Font.Height, Form1.Query1) are one token.
            while (FPos < FText.size() && (IsIdentChar(FText[FPos]) || (FText[FPos] == '.' && FPos + 1 < FText.size() &&
                                                                        IsIdentStart(FText[FPos + 1])))) {
                ++FPos;
            }
            t.Kind = TTok::Ident;
            t.Text = std::string(FText.substr(start, FPos - start));
            return t;
        }
        if (c == '\'' || c == '#') return ScanString();
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
            ((c == '-' || c == '+') && FPos + 1 < FText.size() &&
             (std::isdigit(static_cast<unsigned char>(FText[FPos + 1])) || FText[FPos + 1] == '$'))) {
            return ScanNumber();
        }
        if (std::strchr("=:()[]<>{},+", c)) {
            ++FPos;
            t.Kind = TTok::Symbol;
            t.Text = std::string(1, c);
            return t;
        }
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            Fail(FLine, "unexpected character code " + std::to_string(static_cast<unsigned char>(c)));
        }
        Fail(FLine, std::string("unexpected character '") + c + "'");
    }

    TToken ScanNumber() {
        TToken t;
        t.Line = FLine;
        bool negative = false;
        if (FText[FPos] == '-' || FText[FPos] == '+') negative = FText[FPos++] == '-';
        if (FText[FPos] == '$') {
            ++FPos;
            const size_t start = FPos;
            uint64_t v = 0;
            while (FPos < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[FPos]))) {
                if (FPos - start >= 16) Fail(FLine, "number out of range");
                const char h = FText[FPos++];
                v = v * 16 + static_cast<uint64_t>(
                                 std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::toupper(h) - 'A' + 10));
            }
            if (FPos == start) Fail(FLine, "expected hex digits after '$'");
            t.Kind = TTok::Integer;
            t.Integer = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
            return t;
        }
        const size_t start = FPos;
        bool isFloat = false;
        while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos])))
            ++FPos;
        if (FPos < FText.size() && FText[FPos] == '.' && FPos + 1 < FText.size() &&
            std::isdigit(static_cast<unsigned char>(FText[FPos + 1]))) {
            isFloat = true;
            ++FPos;
            while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos])))
                ++FPos;
        }
        if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
            size_t p = FPos + 1;
            if (p < FText.size() && (FText[p] == '+' || FText[p] == '-')) ++p;
            if (p < FText.size() && std::isdigit(static_cast<unsigned char>(FText[p]))) {
                isFloat = true;
                FPos = p;
                while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos])))
                    ++FPos;
            }
        }
        if (FPos < FText.size() && IsIdentChar(FText[FPos])) Fail(FLine, "malformed number");
        const std::string digits(FText.substr(start, FPos - start));
        if (isFloat) {
            t.Kind = TTok::Float;
            t.Float = std::strtold(digits.c_str(), nullptr);
            if (!std::isfinite(t.Float)) Fail(FLine, "number out of range");
            if (negative) t.Float = -t.Float;
        } else {
            t.Kind = TTok::Integer;
            errno = 0;
            const unsigned long long v = std::strtoull(digits.c_str(), nullptr, 10);
            if (errno == ERANGE || v > static_cast<unsigned long long>(INT64_MAX)) Fail(FLine, "number out of range");
            t.Integer = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
        }
        return t;
    }

    // 'text'#13#10'more': quoted runs and character codes, joined without separators.
    TToken ScanString() {
        TToken t;
        t.Kind = TTok::String;
        t.Line = FLine;
        while (FPos < FText.size()) {
            const char c = FText[FPos];
            if (c == '\'') {
                ++FPos;
                for (;;) {
                    if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r') {
                        Fail(t.Line, "unterminated string");
                    }
                    if (FText[FPos] == '\'') {
                        if (FPos + 1 < FText.size() && FText[FPos + 1] == '\'') {
                            t.Text += '\'';
                            FPos += 2;
                            continue;
                        }
                        ++FPos;
                        break;
                    }
                    const size_t n = system::DecodeUtf8(FText, FPos).Length;
                    if (n == 0) Fail(FLine, "invalid UTF-8 in string");
                    t.Text.append(FText.substr(FPos, n));
                    FPos += n;
                }
            } else if (c == '#') {
                ++FPos;
                const size_t start = FPos;
                uint64_t cp = 0;
                if (FPos < FText.size() && FText[FPos] == '$') {
                    ++FPos;
                    while (FPos < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[FPos])) &&
                           cp <= 0x10FFFF) {
                        const char h = FText[FPos++];
                        cp = cp * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(h))
                                                                 ? h - '0'
                                                                 : (std::toupper(h) - 'A' + 10));
                    }
                    if (FPos == start + 1) Fail(FLine, "expected a character code after '#'");
                } else {
                    while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos])) &&
                           cp <= 0x10FFFF) {
                        cp = cp * 10 + static_cast<uint64_t>(FText[FPos++] - '0');
                    }
                    if (FPos == start) Fail(FLine, "expected a character code after '#'");
                }
                if (FPos < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[FPos])) && cp > 0x10FFFF) {
                    Fail(FLine, "invalid character code");
                }
                if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) Fail(FLine, "invalid character code");
                system::AppendUtf8(t.Text, static_cast<char32_t>(cp));
            } else {
                break;
            }
        }
        return t;
    }
};

class TReader : public system::TLoadContext {
public:
    TReader(std::string_view text, const system::TClassRegistry& registry, const TFormReadOptions& options)
        : FLex(text, options.FileName), FRegistry(registry), FBase(options.BaseFolder),
          FBeforeLoaded(options.BeforeLoaded), FSourceMap(options.SourceMap) {}

    std::unique_ptr<TComponent> Read() {
        std::unique_ptr<TComponent> root;
        ReadObject(nullptr, nullptr, root, 0);
        const TToken rest = FLex.Next();
        if (rest.Kind != TTok::End) FLex.Fail(rest.Line, "expected end of file, found " + TLexer::Describe(rest));
        for (auto& ref : FReferences) {
            TComponent* target = Resolve(*root, ref.Name);
            if (!target) FLex.Fail(ref.Line, "unknown component '" + ref.Name + "'");
            try {
                ref.Assign(target);
            } catch (const system::EPropertyValue& e) {
                FLex.Fail(ref.Line, e.what());
            }
        }
        for (TComponent* c : FCreated) {
            try {
                if (FBeforeLoaded) FBeforeLoaded(*c);
                c->EndLoading();
            } catch (const EQRError& e) {
                FLex.Fail(FCreatedLines[c], e.what());
            }
        }
        return root;
    }

    void AddReference(const std::string& name, int line, std::function<void(TComponent*)> assign) override {
        FReferences.push_back({name, line, std::move(assign)});
    }
    const std::string& BaseFolder() const override { return FBase; }

private:
    struct TReference {
        std::string Name;
        int Line;
        std::function<void(TComponent*)> Assign;
    };
    TLexer FLex;
    const system::TClassRegistry& FRegistry;
    std::string FBase;
    std::function<void(TComponent&)> FBeforeLoaded;
    TFormSourceMap* FSourceMap;
    std::vector<TReference> FReferences;
    std::vector<TComponent*> FCreated;
    std::map<TComponent*, int> FCreatedLines;

    // OnNeedData, BeforePrint, AfterPrint, OnPreview: the event names components publish.
    static bool IsEventName(std::string_view name) {
        auto starts = [name](std::string_view p) {
            return name.size() > p.size() && system::SameText(name.substr(0, p.size()), p) &&
                   std::isupper(static_cast<unsigned char>(name[p.size()]));
        };
        return starts("On") || starts("Before") || starts("After");
    }

    static TComponent* Resolve(TComponent& root, const std::string& name) {
        if (system::SameText(root.Name(), name)) return &root;
        return root.FindComponent(name);
    }

    void ReadObject(TComponent* root, TComponent* parent, std::unique_ptr<TComponent>& rootOut, int depth) {
        if (depth > MaxFormDepth) FLex.Fail(FLex.Peek().Line, "objects nested too deeply");
        TToken kw = FLex.Next();
        if (kw.Kind != TTok::Ident || !system::SameText(kw.Text, "object")) {
            if (kw.Kind == TTok::Ident &&
                (system::SameText(kw.Text, "inherited") || system::SameText(kw.Text, "inline"))) {
                FLex.Fail(kw.Line, "inherited descriptions are not supported");
            }
            FLex.Fail(kw.Line, "expected 'object', found " + TLexer::Describe(kw));
        }
        TToken first = FLex.Next();
        if (first.Kind != TTok::Ident)
            FLex.Fail(first.Line, "expected a component name, found " + TLexer::Describe(first));
        std::string name, className;
        if (FLex.PeekSymbol(":")) {
            FLex.Next();
            TToken cls = FLex.Next();
            if (cls.Kind != TTok::Ident) FLex.Fail(cls.Line, "expected a class name, found " + TLexer::Describe(cls));
            name = first.Text;
            className = cls.Text;
        } else {
            className = first.Text;
        }
        auto created = FRegistry.Create(className);
        if (!created) FLex.Fail(first.Line, "unknown class '" + className + "'");
        TComponent* component = created.get();
        try {
            if (root) {
                if (!name.empty() && (Resolve(*root, name))) {
                    FLex.Fail(first.Line, "duplicate component name '" + name + "'");
                }
                created->SetName(name);
                root->InsertComponent(std::move(created));
            } else {
                created->SetName(name);
                rootOut = std::move(created);
                root = component;
            }
        } catch (const EFormError&) {
            throw;
        } catch (const EQRError& e) {
            FLex.Fail(first.Line, e.what());
        }
        component->BeginLoading();
        FCreated.push_back(component);
        FCreatedLines[component] = first.Line;
        if (FSourceMap) FSourceMap->Components[component].Line = first.Line;
        if (parent) {
            try {
                component->SetParentComponent(parent);
            } catch (const EQRError& e) {
                FLex.Fail(first.Line, e.what());
            }
        }
        for (;;) {
            const TToken& t = FLex.Peek();
            if (t.Kind == TTok::Ident && system::SameText(t.Text, "end")) {
                FLex.Next();
                return;
            }
            if (t.Kind == TTok::Ident && (system::SameText(t.Text, "object") || system::SameText(t.Text, "inherited") ||
                                          system::SameText(t.Text, "inline"))) {
                ReadObject(root, component, rootOut, depth + 1);
                continue;
            }
            if (t.Kind != TTok::Ident)
                FLex.Fail(t.Line, "expected a property name or 'end', found " + TLexer::Describe(t));
            TFormItem::TAssignment a;
            const int line = t.Line;
            a.Name = FLex.Next().Text;
            FLex.ExpectSymbol("=");
            a.Value = ReadValue(depth + 1);
            if (FSourceMap) FSourceMap->Components[component].Properties[Upper(a.Name)] = line;
            Assign(*component, a, line);
        }
    }

    TFormValue ReadValue(int depth) {
        if (depth > MaxFormDepth) FLex.Fail(FLex.Peek().Line, "values nested too deeply");
        TToken t = FLex.Next();
        TFormValue v;
        v.Line = t.Line;
        switch (t.Kind) {
        case TTok::Integer:
            v.Kind = TFormValue::fvInteger;
            v.Integer = t.Integer;
            return v;
        case TTok::Float:
            v.Kind = TFormValue::fvFloat;
            v.Float = t.Float;
            return v;
        case TTok::Ident:
            v.Kind = TFormValue::fvIdent;
            v.Text = t.Text;
            return v;
        case TTok::String:
            v.Kind = TFormValue::fvString;
            v.Text = t.Text;
            // 'long text ' + 'continued'
            while (FLex.PeekSymbol("+")) {
                FLex.Next();
                TToken more = FLex.Next();
                if (more.Kind != TTok::String)
                    FLex.Fail(more.Line, "expected a string after '+', found " + TLexer::Describe(more));
                v.Text += more.Text;
            }
            return v;
        case TTok::End:
            FLex.Fail(t.Line, "unexpected end of file");
        case TTok::Binary:
            break;
        case TTok::Symbol:
            if (t.Text == "[") return ReadSet(t.Line);
            if (t.Text == "(") {
                v.Kind = TFormValue::fvList;
                while (!FLex.PeekSymbol(")")) {
                    if (FLex.Peek().Kind == TTok::End) FLex.Fail(t.Line, "unterminated list");
                    v.Items.push_back(ReadValue(depth + 1));
                }
                FLex.Next();
                return v;
            }
            if (t.Text == "{") {
                TToken bin = FLex.ScanBinary(t.Line);
                v.Kind = TFormValue::fvBinary;
                v.Bytes.reserve(bin.Text.size() / 2);
                for (size_t i = 0; i < bin.Text.size(); i += 2) {
                    v.Bytes.push_back(static_cast<uint8_t>(std::stoi(bin.Text.substr(i, 2), nullptr, 16)));
                }
                return v;
            }
            if (t.Text == "<") return ReadCollection(t.Line, depth);
            break;
        }
        FLex.Fail(t.Line, "expected a value, found " + TLexer::Describe(t));
    }

    TFormValue ReadSet(int line) {
        TFormValue v;
        v.Kind = TFormValue::fvSet;
        v.Line = line;
        if (FLex.PeekSymbol("]")) {
            FLex.Next();
            return v;
        }
        for (;;) {
            TToken n = FLex.Next();
            if (n.Kind != TTok::Ident) FLex.Fail(n.Line, "expected a set element, found " + TLexer::Describe(n));
            v.Names.push_back(n.Text);
            TToken sep = FLex.Next();
            if (sep.Kind == TTok::Symbol && sep.Text == "]") return v;
            if (sep.Kind != TTok::Symbol || sep.Text != ",")
                FLex.Fail(sep.Line, "expected ',' or ']', found " + TLexer::Describe(sep));
        }
    }

    TFormValue ReadCollection(int line, int depth) {
        TFormValue v;
        v.Kind = TFormValue::fvCollection;
        v.Line = line;
        for (;;) {
            TToken t = FLex.Next();
            if (t.Kind == TTok::Symbol && t.Text == ">") return v;
            if (t.Kind != TTok::Ident || !system::SameText(t.Text, "item")) {
                FLex.Fail(t.Line, "expected 'item' or '>', found " + TLexer::Describe(t));
            }
            TFormItem item;
            item.Line = t.Line;
            for (;;) {
                TToken p = FLex.Next();
                if (p.Kind == TTok::Ident && system::SameText(p.Text, "end")) break;
                if (p.Kind != TTok::Ident)
                    FLex.Fail(p.Line, "expected a property name or 'end', found " + TLexer::Describe(p));
                TFormItem::TAssignment a;
                a.Name = p.Text;
                FLex.ExpectSymbol("=");
                a.Value = ReadValue(depth + 1);
                a.Value.Line = p.Line;
                item.Properties.push_back(std::move(a));
            }
            v.Elements.push_back(std::move(item));
        }
    }

    void Assign(TPersistent& target, const TFormItem::TAssignment& a, int line) {
        TPersistent* object = &target;
        std::string_view rest = a.Name;
        bool dot_as_whole = false;
        for (;;) {
            const size_t dot = rest.find('.');
            const std::string_view part = rest.substr(0, dot);
            const system::TPropertyInfo* info = object->Properties().Find(part);
            if (!info && object == &target && dot == std::string_view::npos && IsEventName(a.Name)) {
                // An event names a handler in program code: kept, not connected.
                auto* component = dynamic_cast<TComponent*>(&target);
                if (!component || a.Value.Kind != TFormValue::fvIdent) {
                    FLex.Fail(line, "event " + a.Name + " needs a handler name");
                }
                component->SetEventHandler(a.Name, a.Value.Text);
                return;
            }
            if (!info) {
                FLex.Fail(line, "unknown property '" + a.Name + "' of " + target.ClassName());
            }
            // A string list may be written with its Strings: Description.Strings = ('...').
            if (dot != std::string_view::npos && !info->Object && info->Write &&
                system::SameText(rest.substr(dot + 1), "Strings")) {
                dot_as_whole = true;
            }
            if (dot == std::string_view::npos || dot_as_whole) {
                if (!info->Write)
                    FLex.Fail(line, "property '" + a.Name + "' of " + target.ClassName() + " cannot be set");
                try {
                    info->Write(*object, a.Value, *this);
                } catch (const EFormError&) {
                    throw;
                } catch (const system::EPropertyValue& e) {
                    FLex.Fail(line, "invalid value for " + a.Name + ": " + e.what());
                } catch (const EQRError& e) {
                    FLex.Fail(line, "invalid value for " + a.Name + ": " + e.what());
                }
                return;
            }
            if (!info->Object) FLex.Fail(line, "unknown property '" + a.Name + "' of " + target.ClassName());
            object = info->Object(*object);
            if (!object) FLex.Fail(line, "unknown property '" + a.Name + "' of " + target.ClassName());
            rest = rest.substr(dot + 1);
        }
    }

public:
    void AssignItemProperty(TPersistent& target, const TFormItem::TAssignment& a) override {
        Assign(target, a, a.Value.Line);
    }
};

} // namespace

std::unique_ptr<TComponent> ReadForm(std::string_view text, const system::TClassRegistry& registry,
                                     const TFormReadOptions& options) {
    if (text.size() > MaxFormSize) throw EFormError(options.FileName, 1, "description too large");
    TReader reader(text, registry, options);
    return reader.Read();
}

int TFormSourceMap::Line(const TComponent* component, std::string_view property) const {
    auto it = Components.find(component);
    if (it == Components.end()) return 0;
    if (!property.empty())
        if (auto p = it->second.Properties.find(Upper(property)); p != it->second.Properties.end()) return p->second;
    return it->second.Line;
}

std::vector<std::string> EventHandlerNames(const TComponent& root) {
    std::vector<std::string> out;
    auto add = [&out](const TComponent& c) {
        for (const auto& [event, handler] : c.EventHandlers())
            out.push_back((c.Name().empty() ? std::string(c.ClassName()) : c.Name()) + "." + event + " = " + handler);
    };
    add(root);
    for (const TComponent* c : root.Components())
        add(*c);
    return out;
}

std::unique_ptr<TComponent> ReadFormFile(const std::filesystem::path& path, const system::TClassRegistry& registry,
                                         std::function<void(TComponent&)> beforeLoaded, TFormSourceMap* sourceMap) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EQRError(FormatMessage("Cannot open file %s", path.string()));
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size < 0) throw EQRError(FormatMessage("Cannot open file %s", path.string()));
    if (static_cast<uint64_t>(size) > MaxFormSize) throw EFormError(path.string(), 1, "description too large");
    in.seekg(0);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), size)) throw EQRError(FormatMessage("Cannot open file %s", path.string()));
    TFormReadOptions options;
    options.FileName = path.string();
    options.BaseFolder = path.parent_path().string();
    options.BeforeLoaded = std::move(beforeLoaded);
    options.SourceMap = sourceMap;
    return ReadForm(text, registry, options);
}

} // namespace pagimo::engine
