// Report descriptions run through qrptool as an author runs them, their pages drawn to PNG and
// checked as a reader of the paper would: barcodes decoded back by real readers, pictures from
// description data, files and fields found where they belong, long texts printed whole.

#include "QrptoolRun.h"
#include "TempDir.h"

#include <QBuffer>
#include <QImage>

// Decoded text as UTF-8.
#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;
using pagimo::test::TRun;

class QrptoolToolbox : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();

    // Runs a report whose title band holds `controls` (sizes in millimetres) and draws its first
    // page at `dpi`; `more` goes into the report before the band.
    QImage Page(const std::string& controls, int dpi, const std::string& more = "") {
        std::ofstream(Dir / "r.form") << "object R: TQRReport\n  Units = MM\n  Page.PaperSize = A4\n"
                                      << more
                                      << "  object Title: TQRBand\n    BandType = rbTitle\n    Size.Height = 100\n"
                                      << controls << "  end\nend\n";
        const std::string form = (Dir / "r.form").string(), qrp = (Dir / "r.qrp").string();
        const TRun report = RunQrptool(Dir, "report " + form + " -o " + qrp + " --strict");
        EXPECT_EQ(report.Status, 0) << report.Err;
        const TRun render = RunQrptool(Dir, "render " + qrp + " --page 1 --dpi " + std::to_string(dpi) + " -o " +
                                                (Dir / "page.png").string());
        EXPECT_EQ(render.Status, 0) << render.Err;
        return QImage(QString::fromStdString((Dir / "page.png").string()));
    }

    // What a command run in the test's folder writes on stdout.
    std::string Output(const std::string& command) {
        std::string out;
        FILE* pipe = ::popen(("cd '" + Dir.string() + "' && " + command).c_str(), "r");
        if (!pipe) return out;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
        return out;
    }
};

std::string Hex(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    std::ostringstream out;
    for (unsigned char c : bytes) {
        static const char* digits = "0123456789ABCDEF";
        out << digits[c >> 4] << digits[c & 15];
    }
    return out.str();
}

QImage Solid(QRgb colour) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The colour at a point of the page given in millimetres from the top-left corner.
QRgb At(const QImage& page, double xMm, double yMm, int dpi) {
    return page.pixel(static_cast<int>(xMm / 25.4 * dpi), static_cast<int>(yMm / 25.4 * dpi)) & 0xFFFFFF;
}

TEST_F(QrptoolToolbox, EverySymbologyPrintsAsVectorsThatARealReaderDecodesBack) {
    struct {
        const char* Symbology;
        const char* Data;
        const char* Decoded;
        const char* Reader; // zbarimg, dmtxread, or the zxing library
    } rows[] = {
        {"bcCode128", "INV-2024/0042", "INV-2024/0042", "zbarimg"},
        {"bcCode39", "PAGIMO 42", "PAGIMO 42", "zbarimg"},
        {"bcEAN13", "400638133393", "4006381333931", "zbarimg"},
        {"bcEAN8", "9638507", "96385074", "zbarimg"},
        {"bcUPCA", "03600029145", "0036000291452", "zbarimg"}, // the reader tells UPC-A as its EAN-13
        {"bcITF14", "1234567890123", "12345678901231", "zbarimg"},
        {"bcQRCode", "Faktura č. 42 – Přehled", "Faktura č. 42 – Přehled", "zbarimg"},
        {"bcDataMatrix", "INV-2024-0042", "INV-2024-0042", "dmtxread"},
        {"bcPDF417", "Invoice 42 of 2024", "Invoice 42 of 2024", "zxing"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Symbology);
        const int dpi = 300;
        const QImage page = Page(std::string("    object B: TQRBarcode\n      Size.Left = 20\n      Size.Top = 20\n"
                                             "      Size.Width = 60\n      Size.Height = 30\n      Symbology = ") +
                                     row.Symbology + "\n      Expression = '''" + row.Data + "'''\n    end\n",
                                 dpi);
        ASSERT_FALSE(page.isNull());
        std::string decoded;
        if (std::string(row.Reader) == "zxing") {
            const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
            const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                                        static_cast<int>(grey.bytesPerLine()));
            decoded = ZXing::ReadBarcode(view).text();
        } else {
            // The readers write what they decoded on stdout; zbarimg's D-Bus complaints go to stderr.
            decoded = Output(std::string(row.Reader) == "zbarimg" ? "zbarimg --raw -q page.png 2>/dev/null"
                                                                  : "dmtxread page.png 2>/dev/null");
            while (!decoded.empty() && decoded.back() == '\n')
                decoded.pop_back();
        }
        EXPECT_EQ(decoded, row.Decoded);
        // The bars are where the control is, and nothing is drawn outside it.
        EXPECT_EQ(At(page, 10, 35, dpi), 0xFFFFFFu);
    }
}

TEST_F(QrptoolToolbox, InputTheSymbologyCannotEncodePrintsNothingAndIsToldWithItsLine) {
    std::ofstream(Dir / "r.form") << "object R: TQRReport\n  Units = MM\n  object Title: TQRBand\n"
                                     "    BandType = rbTitle\n    object B: TQRBarcode\n      Symbology = bcEAN13\n"
                                     "      Expression = '''ABC'''\n    end\n  end\nend\n";
    const TRun r = RunQrptool(Dir, "report " + (Dir / "r.form").string() + " --trace --strict");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("/r.form:7: warning: report R, page 1, B: no EAN-13 of 'ABC': EAN-13 takes 12 digits"),
              std::string::npos)
        << r.Err;
}

TEST_F(QrptoolToolbox, PicturesFromDescriptionDataFilesAndFieldsAreDrawn) {
    const int dpi = 96;
    Solid(qRgb(0, 0, 255)).save(QString::fromStdString((Dir / "blue.png").string()));
    Solid(qRgb(255, 255, 0)).save(QString::fromStdString((Dir / "yellow.png").string()));
    const std::string sql = "CREATE TABLE p (pic BLOB, path TEXT); INSERT INTO p VALUES (X'" +
                            Hex(Solid(qRgb(0, 255, 0)), "PNG") + "', 'yellow.png');";
    std::ofstream(Dir / "p.sql") << sql;
    ASSERT_EQ(std::system(("sqlite3 " + (Dir / "p.sqlite").string() + " < " + (Dir / "p.sql").string()).c_str()), 0);

    auto image = [](const char* cls, double left, const std::string& source) {
        return std::string("    object I") + std::to_string(static_cast<int>(left)) + ": " + cls +
               "\n      Size.Left = " + std::to_string(left) +
               "\n      Size.Top = 10\n      Size.Width = 20\n      Size.Height = 20\n      Stretch = True\n" + source +
               "    end\n";
    };
    // "TPngImage" with its byte count, then the file's bytes.
    std::string data = "0954506E67496D616765";
    const std::string png = Hex(Solid(qRgb(255, 0, 0)), "PNG");
    const size_t n = png.size() / 2;
    static const char* digits = "0123456789ABCDEF";
    for (int i = 0; i < 4; ++i) {
        const unsigned byte = (n >> (8 * i)) & 0xFF;
        data += digits[byte >> 4];
        data += digits[byte & 15];
    }
    const QImage page = Page(image("TQRImage", 10, "      Picture.Data = {" + data + png + "}\n") +
                                 image("TQRImage", 40, "      FileName = 'blue.png'\n") +
                                 image("TQRDBImage", 70, "      DataSet = Q\n      DataField = 'pic'\n") +
                                 image("TQRDBImage", 100, "      DataSet = Q\n      DataField = 'path'\n"),
                             dpi,
                             "  DataSet = Q\n  object Q: TQRSQLiteQuery\n    DatabaseName = 'p.sqlite'\n"
                             "    SQL = ('SELECT pic, path FROM p')\n    Active = True\n  end\n");
    ASSERT_FALSE(page.isNull());
    // The title band starts at the margins, 10 mm from the top and the left: the pictures' centres.
    EXPECT_EQ(At(page, 30, 30, dpi), 0xFF0000u) << "Picture.Data";
    EXPECT_EQ(At(page, 60, 30, dpi), 0x0000FFu) << "FileName, relative to the description";
    EXPECT_EQ(At(page, 90, 30, dpi), 0x00FF00u) << "a PNG in a blob field";
    EXPECT_EQ(At(page, 120, 30, dpi), 0xFFFF00u) << "a field naming a file";
    EXPECT_EQ(At(page, 45, 30, dpi), 0xFFFFFFu) << "nothing between them";
}

TEST_F(QrptoolToolbox, LongTextsPrintWholeThroughAnExpressionAndAMemo) {
    // 400 words, 2,000 characters, in a field and in a memo line; the CSV export has every line.
    std::string text;
    for (int i = 0; i < 400; ++i) {
        char word[8];
        std::snprintf(word, sizeof word, "w%03d%c", i, i % 10 == 9 ? 'z' : 'a');
        text += std::string(word) + (i + 1 < 400 ? " " : "");
    }
    ASSERT_GE(text.size(), 2000u);
    std::ofstream(Dir / "r.form") << "object R: TQRReport\n  DataSet = T\n  Units = MM\n"
                                     "  object T: TQRMemoryTable\n    Lines = ('t' '"
                                  << text
                                  << "')\n    Active = True\n  end\n"
                                     "  object D: TQRBand\n    BandType = rbDetail\n    Size.Height = 5\n"
                                     "    object E: TQRExpr\n      Size.Width = 180\n      Size.Height = 5\n"
                                     "      AutoSize = False\n      AutoStretch = True\n      Expression = '[t]'\n"
                                     "    end\n  end\n"
                                     "  object S: TQRBand\n    BandType = rbSummary\n    Size.Height = 5\n"
                                     "    object M: TQRMemo\n      Size.Width = 180\n      Size.Height = 5\n"
                                     "      AutoSize = False\n      AutoStretch = True\n      Lines.Strings = ('"
                                  << text << "')\n    end\n  end\nend\n";
    const TRun r =
        RunQrptool(Dir, "report " + (Dir / "r.form").string() + " -o " + (Dir / "out.csv").string() + " --strict");
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::ifstream in(Dir / "out.csv");
    const std::string csv{std::istreambuf_iterator<char>(in), {}};
    size_t at = 0;
    for (int copy = 0; copy < 2; ++copy)
        for (int i = 0; i < 400; ++i) {
            char word[8];
            std::snprintf(word, sizeof word, "w%03d", i);
            at = csv.find(word, at);
            ASSERT_NE(at, std::string::npos) << "copy " << copy << " lost " << word;
        }
}

} // namespace
