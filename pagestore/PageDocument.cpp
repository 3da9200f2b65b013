#include "pagestore/PageDocument.h"

#include "platform/emf/RecordReader.h"

#include <cmath>

namespace pagimo::pagestore {

std::optional<TPageSheet> SheetOf(const emf::TEmfHeader& header) {
    const int64_t frameWidth = static_cast<int64_t>(header.FrameRight) - header.FrameLeft;
    const int64_t frameHeight = static_cast<int64_t>(header.FrameBottom) - header.FrameTop;
    const auto pixels = [](int64_t hundredths) {
        return static_cast<int32_t>(std::llround(static_cast<double>(hundredths) * emf::ScreenPixelsPerInch / 2540.0));
    };
    TPageSheet sheet;
    if (pixels(frameWidth) >= 1 && pixels(frameHeight) >= 1) {
        sheet.WidthTenths = static_cast<int32_t>(std::llround(frameWidth / 10.0));
        sheet.HeightTenths = static_cast<int32_t>(std::llround(frameHeight / 10.0));
        sheet.WidthPixels = pixels(frameWidth);
        sheet.HeightPixels = pixels(frameHeight);
        return sheet;
    }
    // Some writers leave the frame empty; the bounds (inclusive, in pixels) still say how large the
    // drawing is.
    const int64_t boundsWidth = static_cast<int64_t>(header.BoundsRight) - header.BoundsLeft + 1;
    const int64_t boundsHeight = static_cast<int64_t>(header.BoundsBottom) - header.BoundsTop + 1;
    if (boundsWidth < 1 || boundsHeight < 1 || boundsWidth > INT32_MAX / 4 || boundsHeight > INT32_MAX / 4)
        return std::nullopt;
    sheet.WidthPixels = static_cast<int32_t>(boundsWidth);
    sheet.HeightPixels = static_cast<int32_t>(boundsHeight);
    sheet.WidthTenths = static_cast<int32_t>(std::llround(boundsWidth * 254.0 / emf::ScreenPixelsPerInch));
    sheet.HeightTenths = static_cast<int32_t>(std::llround(boundsHeight * 254.0 / emf::ScreenPixelsPerInch));
    return sheet;
}

TDocumentPage CheckedDocumentPage(std::shared_ptr<const emf::TEmfPicture> picture) {
    TDocumentPage page;
    page.Problem = emf::CheckRecordChain(picture->Bytes()).Problem();
    if (page.Problem.empty()) {
        page.State = TDocumentPage::dpReady;
        page.Picture = std::move(picture);
    } else {
        page.State = TDocumentPage::dpDamaged;
    }
    return page;
}

} // namespace pagimo::pagestore
