#pragma once
// TQRSysData: a text control that prints a value the system supplies (time, date, page number,
// report title, record counts) behind a fixed prefix text.

#include "controls/Label.h"

namespace pagimo::controls {

// qrsPageCount (the number of pages of the finished report, as TOTALPAGES) comes after the classic set.
enum TQRSysDataType {
    qrsTime,
    qrsDate,
    qrsDateTime,
    qrsPageNumber,
    qrsReportTitle,
    qrsDetailCount,
    qrsDetailNo,
    qrsPageCount
};
const system::TEnumInfo& SysDataTypeInfo();
// The name a data type shows under on the design surface ("Page#", "Report title" ...).
const char* SysDataTypeName(TQRSysDataType type);

class TQRSysData : public TQRCustomLabel {
public:
    TQRSysData();
    static const char* StaticClassName() { return "TQRSysData"; }
    const char* ClassName() const override { return StaticClassName(); }

    TQRSysDataType Data() const { return FData; }
    void SetData(TQRSysDataType data);
    std::string Text() const { return FText; }
    void SetText(const std::string& text);

    // Sets the caption to Text and the current value, then prints it as a text control.
    void PrintAt(int32_t ofsX, int32_t ofsY) override;
    bool UsesPageTotal() const override { return FData == qrsPageCount || TQRCustomLabel::UsesPageTotal(); }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    TQRSysDataType FData = qrsTime;
    std::string FText;
    void ShowDesignCaption();
};

} // namespace pagimo::controls
