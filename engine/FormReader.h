#pragma once
// Stored form descriptions (".form" files): a text that names a component tree, its classes and its
// published properties, read into components created through a class registry.
//
//   object QRReport1: TQRReport
//     Page.Values = (127 2970 127 2100 127 127 0)
//     Options = [FirstPageHeader, LastPageFooter]
//     ReportTitle = 'Prohl'#237#382'et'
//     object DetailBand1: TQRBand
//       BandType = rbDetail
//     end
//   end
//
// The text is UTF-8; #n in a string is the character with Unicode code point n.

#include "platform/system/Component.h"
#include "platform/system/Errors.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::engine {

// A description that cannot be read. what() is "FILE:LINE: reason".
class EFormError : public EQRError {
public:
    EFormError(std::string file, int line, std::string reason);
    const std::string& File() const { return FFile; }
    int Line() const { return FLine; }
    const std::string& Reason() const { return FReason; }

private:
    std::string FFile;
    int FLine;
    std::string FReason;
};

// Where a description holds each of its components and their properties, for messages about a
// component that name the line to look at.
struct TFormSourceMap {
    struct TComponentLines {
        int Line = 0;
        std::map<std::string, int> Properties; // upper-cased dotted name as written -> line
    };
    std::map<const system::TComponent*, TComponentLines> Components;
    // The line of component's property (any case), else of the component itself; 0 when unknown.
    int Line(const system::TComponent* component, std::string_view property = {}) const;
};

struct TFormReadOptions {
    // Shown in messages; also the base of relative file names the components read (BaseFolder).
    std::string FileName = "<form>";
    std::string BaseFolder;
    // Called for every component once its properties and references are set, before Loaded runs
    // (a tool points data sets at another database here).
    std::function<void(system::TComponent&)> BeforeLoaded;
    // Filled with the lines of components and properties when given.
    TFormSourceMap* SourceMap = nullptr;
};

// Largest description accepted, and deepest nesting of objects and lists: a hostile file ends in
// an error instead of exhausting memory or the stack.
constexpr size_t MaxFormSize = 64u << 20;
constexpr int MaxFormDepth = 64;

// Reads a description and returns its root component, which owns every component in it. Each
// component is created by its class name through registry, named, placed in its parent, and has
// its properties set in the order written; component references are resolved at the end, then
// every component's Loaded runs. Throws EFormError.
std::unique_ptr<system::TComponent> ReadForm(std::string_view text, const system::TClassRegistry& registry,
                                             const TFormReadOptions& options = {});

// Reads a description file (FileName and BaseFolder taken from the path). Throws EFormError, and
// EQRError "Cannot open file %s" when the file cannot be read.
std::unique_ptr<system::TComponent> ReadFormFile(const std::filesystem::path& path,
                                                 const system::TClassRegistry& registry,
                                                 std::function<void(system::TComponent&)> beforeLoaded = nullptr,
                                                 TFormSourceMap* sourceMap = nullptr);

// The event handlers a description names, as "Component.Event = Handler", root first. A stand-alone
// run has none of that code, so these stay unconnected.
std::vector<std::string> EventHandlerNames(const system::TComponent& root);

// Writes a component tree in the same format: every property that differs from its default, then
// the nested components.
std::string WriteForm(const system::TComponent& root);
// One value on one line as a description spells it (a list as "(1 2 3)").
std::string FormValueText(const system::TFormValue& value);

} // namespace pagimo::engine
