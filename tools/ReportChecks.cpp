#include "tools/ReportChecks.h"

#include "engine/Controller.h"
#include "engine/DataSet.h"

#include <iostream>
#include <vector>

namespace pagimo::tools {

namespace {

std::string Named(const std::string& name) {
    return name.empty() ? std::string("(unnamed)") : name;
}

// Every data set of the tree under root, root first, in the order they were read.
void CollectDataSets(const system::TComponent& root, std::vector<engine::TQRDataSet*>& out) {
    if (auto* d = dynamic_cast<const engine::TQRDataSet*>(&root)) out.push_back(const_cast<engine::TQRDataSet*>(d));
    for (system::TComponent* c : root.Components())
        CollectDataSets(*c, out);
}

} // namespace

void TRunDiagnostics::Listen(engine::TQRDescription& description) {
    auto previous = description.OnDiagnostic;
    description.OnDiagnostic = [this, previous](const engine::TQRDescriptionDiagnostic& d) {
        Write(d);
        if (previous) previous(d);
    };
}

void TRunDiagnostics::Write(const engine::TQRDescriptionDiagnostic& d) {
    // Once per report, source and message: a control prints its error on every record, and a
    // report may run more than once.
    const std::string key = std::to_string(d.Diagnostic->Kind) + '\n' + d.Report->Name() + '\n' + d.Diagnostic->Source +
                            '\n' + d.Diagnostic->Text;
    if (!FSeen.insert(key).second) return;
    ++FCount;
    if (BeforeWrite) BeforeWrite();
    std::cerr << FFile;
    if (d.Line > 0) std::cerr << ':' << d.Line;
    std::cerr << ": warning: " << d.Text << "\n";
}

int ListFields(const system::TComponent& root, const engine::TCustomQRReport* report, std::FILE* out) {
    std::vector<engine::TQRDataSet*> dataSets;
    CollectDataSets(root, dataSets);
    int inactive = 0;
    for (engine::TQRDataSet* d : dataSets) {
        if (!d->Active()) {
            ++inactive;
            std::fprintf(out, "%s: %s, not active (Active = True is missing): a run reads no records\n",
                         Named(d->Name()).c_str(), d->ClassName());
            continue;
        }
        bool reopen = false;
        if (report && d->Params())
            for (const engine::TQRParam& p : *d->Params())
                reopen = reopen || report->FunctionValue(p.Name).has_value();
        if (reopen) {
            d->Close();
            engine::AssignParamsFromFunctions(*d, *report);
            d->Open();
        }
        std::fprintf(out, "%s: %s\n", Named(d->Name()).c_str(), d->ClassName());
        for (size_t i = 0; i < d->FieldCount(); ++i) {
            const engine::TQRField& f = d->Fields(i);
            std::fprintf(out, "  %-24s %s\n", f.FieldName().c_str(),
                         engine::FieldTypeInfo().NameOf(static_cast<int>(f.DataType())).c_str());
        }
    }
    if (dataSets.empty()) std::fprintf(out, "no data sets\n");
    return inactive;
}

} // namespace pagimo::tools
