#pragma once
// The window a stored description may wrap its reports and data sets in (object Form1: TQRListForm).
// Headless code needs none of its window behaviour: it keeps the class name and the usual form
// properties so a description reads and writes back unchanged.

#include "controls/Graphics.h"
#include "platform/system/Component.h"

#include <memory>

namespace pagimo::engine {

class TQRFormHost : public system::TComponent {
public:
    explicit TQRFormHost(std::string className = "TForm") : FClassName(std::move(className)) {}
    const char* ClassName() const override { return FClassName.c_str(); }

    std::string Caption() const { return FCaption; }
    void SetCaption(const std::string& c) { FCaption = c; }
    controls::TFont* Font() const { return FFont.get(); }
    controls::TColor Color() const { return FColor; }
    void SetColor(controls::TColor c) { FColor = c; }
    std::vector<system::TComponent*> GetChildren() const override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

    // Integer-valued window properties by name (Left, ClientWidth, PixelsPerInch ...).
    std::map<std::string, int, std::less<>> Numbers;
    std::map<std::string, bool, std::less<>> Flags;

private:
    std::string FClassName;
    std::string FCaption;
    controls::TColor FColor = static_cast<controls::TColor>(0x8000000F);
    std::unique_ptr<controls::TFont> FFont = std::make_unique<controls::TFont>();
};

// The first report in a description: the root itself or, depth first, one it owns.
class TQRReport;
TQRReport* FindFirstReport(system::TComponent& root);

// Registers the form classes descriptions wrap reports in: TForm and TQRListForm.
void RegisterFormHostClasses(system::TClassRegistry& registry);

} // namespace pagimo::engine
