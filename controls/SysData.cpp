#include "controls/SysData.h"

#include "controls/ControlHost.h"
#include "expr/Locale.h"

#include <ctime>

namespace pagimo::controls {

const system::TEnumInfo& SysDataTypeInfo() {
    static const system::TEnumInfo info{"TQRSysDataType",
                                        {"qrsTime", "qrsDate", "qrsDateTime", "qrsPageNumber", "qrsReportTitle",
                                         "qrsDetailCount", "qrsDetailNo", "qrsPageCount"}};
    return info;
}

const char* SysDataTypeName(TQRSysDataType type) {
    switch (type) {
    case qrsTime:
        return "Time";
    case qrsDate:
        return "Date";
    case qrsDateTime:
        return "Date/Time";
    case qrsPageNumber:
        return "Page#";
    case qrsReportTitle:
        return "Report title";
    case qrsDetailCount:
        return "Detail count";
    case qrsDetailNo:
        return "Detail no";
    case qrsPageCount:
        return "Page count";
    }
    return "";
}

TQRSysData::TQRSysData() {
    ShowDesignCaption();
}

void TQRSysData::ShowDesignCaption() {
    std::string caption = FText;
    caption.append("(").append(SysDataTypeName(FData)).append(")");
    SetCaption(caption);
}

void TQRSysData::SetData(TQRSysDataType data) {
    FData = data;
    ShowDesignCaption();
}

void TQRSysData::SetText(const std::string& text) {
    FText = text;
    ShowDesignCaption();
}

namespace {

// The date and, unless it is midnight, the time after it.
std::string DateTimeText(std::time_t now, const expr::TQRLocale& locale) {
    std::tm parts{};
    localtime_r(&now, &parts);
    std::string text = expr::FormatDate(now, locale);
    if (parts.tm_hour != 0 || parts.tm_min != 0 || parts.tm_sec != 0) {
        text.push_back(' ');
        text.append(expr::FormatTime(now, locale));
    }
    return text;
}

} // namespace

void TQRSysData::PrintAt(int32_t ofsX, int32_t ofsY) {
    const TQRControlReport* report = ControlReport();
    const std::time_t now = std::time(nullptr);
    const expr::TQRLocale& locale = expr::CurrentLocale();
    switch (FData) {
    case qrsTime:
        SetCaption(FText + expr::FormatTime(now, locale));
        break;
    case qrsDate:
        SetCaption(FText + expr::FormatDate(now, locale));
        break;
    case qrsDateTime:
        SetCaption(FText + DateTimeText(now, locale));
        break;
    case qrsPageNumber:
        if (report) SetCaption(FText + std::to_string(report->PageNumber()));
        break;
    case qrsReportTitle:
        if (report) SetCaption(FText + report->ReportTitle());
        break;
    case qrsDetailCount:
        if (report && report->IsBandReport()) SetCaption(FText + std::to_string(report->RecordCount()));
        break;
    case qrsDetailNo:
        if (report && report->IsBandReport()) SetCaption(FText + std::to_string(report->DetailNumber()));
        break;
    case qrsPageCount:
        if (report) SetCaption(FText + std::to_string(report->PageTotal()));
        break;
    }
    TQRCustomLabel::PrintAt(ofsX, ofsY);
}

const system::TPropertyList& TQRSysData::ClassProperties() {
    using namespace system;
    using S = TQRSysData;
    static const TPropertyList list = [] {
        std::vector<TPropertyInfo> own = LabelProperties(
            {"Alignment", "AlignToBand", "AutoSize", "BiDiMode", "Color", "Font", "FontSize", "ParentBiDiMode",
             "ParentFont", "Transparent", "HighlightCondition", "HighlightColor", "HighlightFont"});
        own.push_back(EnumProperty<S, TQRSysDataType>("Data", SysDataTypeInfo(), &S::Data, &S::SetData, qrsTime));
        own.push_back(StringProperty<S>("Text", &S::Text, &S::SetText));
        return TPropertyList(&TQRPrintable::ClassProperties(), std::move(own));
    }();
    return list;
}

} // namespace pagimo::controls
