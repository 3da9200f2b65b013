// Form-description reader: any input ends in a component tree or an EQRError, never a crash or a
// hang, and whatever is read writes out and reads back to the same text.

#include "controls/ControlClasses.h"
#include "engine/CSVTable.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/TraceTarget.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

pagimo::engine::TFormReadOptions Options(const char* file) {
    pagimo::engine::TFormReadOptions o;
    o.FileName = file;
    return o;
}

// The report classes without the data sets that open files: a description may name any path,
// and reading devices or large files is not the reader's business.
pagimo::system::TClassRegistry FuzzRegistry() {
    using namespace pagimo::engine;
    pagimo::system::TClassRegistry r;
    r.Register<TQRReport>();
    r.Register<TQRBand>();
    r.Register<TQRChildBand>();
    r.Register<TQRGroup>();
    r.Register<TQRSubDetail>();
    r.Register<TQRMemoryTable>();
    RegisterFormHostClasses(r);
    pagimo::controls::RegisterControlClasses(r);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const pagimo::system::TClassRegistry registry = FuzzRegistry();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string written;
    try {
        auto root = pagimo::engine::ReadForm(text, registry, Options("fuzz.form"));
        written = pagimo::engine::WriteForm(*root);
    } catch (const pagimo::EQRError&) {
        return 0;
    }
    // What the writer produced must read back and write out unchanged.
    try {
        auto again = pagimo::engine::ReadForm(written, registry, Options("fuzz.form"));
        if (pagimo::engine::WriteForm(*again) != written) std::abort();
    } catch (const pagimo::EQRError&) {
        std::abort();
    }
    // And the first report runs to its end or to an error, whatever its setup.
    try {
        auto root = pagimo::engine::ReadForm(text, registry, Options("fuzz.form"));
        if (pagimo::engine::TQRReport* report = pagimo::engine::FindFirstReport(*root)) {
            pagimo::engine::TQRTraceTarget target;
            target.PageLimit = 200;
            report->SetPrintTarget(&target);
            report->CreateReport(false);
        }
    } catch (const pagimo::EQRError&) {
    }
    return 0;
}
