#include "pagestore/PageList.h"

#include "pagestore/Compress.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordReader.h"
#include "platform/system/Errors.h"
#include "platform/system/LocalTime.h"
#include "platform/system/OutputFile.h"

#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace pagimo::pagestore {

namespace {

using TGuard = std::lock_guard<std::recursive_mutex>;
using emf::GetI32;
using emf::GetU16;
using emf::PutI32;
using emf::PutU16;

constexpr int64_t HeaderSize = TQRStream::HeaderSize;
constexpr int64_t RecordOverhead = 12;     // page number, next-record offset, RecordStart
constexpr int64_t MinRecordSize = 16;      // a splay-coded record with its byte count and no code
constexpr int64_t MaxFileSize = INT32_MAX; // offsets are signed 32-bit

[[noreturn]] void InvalidPicture() {
    throw EQRError("Metafile is not valid");
}

} // namespace

TQRPageList::TQRPageList() {
    ForgetLayout();
}

TQRPageList::~TQRPageList() = default;

void TQRPageList::SetPageStream(std::shared_ptr<TQRStream> stream) {
    TGuard guard(FLock);
    FPageStream = std::move(stream);
    FStreamSize = FPageStream ? FPageStream->Size() : 0;
    ForgetLayout();
}

void TQRPageList::ForgetLayout() {
    FIndex.assign(1, static_cast<int32_t>(HeaderSize));
    FSheets.clear();
    FWindowLength = 0;
}

void TQRPageList::NoteSheet(int32_t n, const emf::TEmfHeader& header) {
    if (n < 1) return;
    if (FSheets.size() < static_cast<size_t>(n)) FSheets.resize(static_cast<size_t>(n));
    FSheets[static_cast<size_t>(n - 1)] = SheetOf(header);
}

void TQRPageList::ResetPages() {
    TGuard guard(FLock);
    FNumPages = 0;
    ForgetLayout();
}

void TQRPageList::WriteHeader() {
    uint8_t header[HeaderSize] = {};
    PutU16(header + 0, 3);
    PutU16(header + 2, 350);
    PutI32(header + 8, FNumPages);
    const double now = NowAsDays();
    std::memcpy(header + 16, &now, sizeof now); // IEEE-754, little-endian like every field here
    header[25] = FCompressed ? 1 : 0;
    FPageStream->SetPosition(0);
    FPageStream->WriteBuffer(header, sizeof header);
    FWindowLength = 0;
    FStreamSize = std::max(FStreamSize, HeaderSize);
}

void TQRPageList::ReadHeader() {
    uint8_t header[HeaderSize];
    FPageStream->SetPosition(0);
    if (FPageStream->Read(header, sizeof header) != sizeof header) {
        throw EQRError("File " + FPageStream->FileName() + " is damaged: its header is incomplete");
    }
    FHeader.FormatWord1 = GetU16(header + 0);
    FHeader.FormatWord2 = GetU16(header + 2);
    FHeader.PageCount = GetI32(header + 8);
    std::memcpy(&FHeader.TimeStamp, header + 16, sizeof FHeader.TimeStamp);
    FHeader.CompressionFlag = header[25];
    // Every record takes at least MinRecordSize bytes, so a larger count cannot be right.
    const bool countFits = FHeader.PageCount >= 0 && FHeader.PageCount <= (FStreamSize - HeaderSize) / MinRecordSize;
    // The format words are not compared as such (files with other values open the same way), but a
    // file whose words are wrong and whose first record does not fit either is something else
    // altogether: a program, a picture, a text.
    const bool usualWords = FHeader.FormatWord1 == 3 && FHeader.FormatWord2 == 350;
    if (!usualWords) {
        TQRPageRecord first;
        const bool looksRight =
            countFits && (FHeader.PageCount == 0 ? FStreamSize == HeaderSize : CheckRecord(HeaderSize, 1, first));
        if (!looksRight) throw EQRError("File " + FPageStream->FileName() + " is not a QRP file");
    }
    if (!countFits) {
        throw EQRError("File " + FPageStream->FileName() + " is damaged: its page count " +
                       std::to_string(FHeader.PageCount) + " does not fit its size");
    }
    FNumPages = FHeader.PageCount;
    FCompressed = FHeader.CompressionFlag != 0;
}

void TQRPageList::OpenFile(const std::string& fileName) {
    TGuard guard(FLock);
    FPageStream.reset();
    FNumPages = 0;
    FStreamSize = 0;
    ForgetLayout();
    std::shared_ptr<TQRStream> stream = TQRStream::CreateForFile(fileName);
    TGuard streamGuard(stream->Lock());
    FPageStream = stream;
    try {
        FStreamSize = stream->Size();
        ReadHeader();
    } catch (...) {
        FPageStream.reset();
        FNumPages = 0;
        FStreamSize = 0;
        throw;
    }
}

void TQRPageList::CloseRecording() {
    TGuard guard(FLock);
    if (!FPageStream) return;
    TGuard streamGuard(FPageStream->Lock());
    WriteHeader();
}

void TQRPageList::StorePage(const emf::TEmfPicture& picture) {
    TGuard guard(FLock);
    if (!FPageStream) throw EQRError("No page stream to store the page in");
    TQRStream& stream = *FPageStream;
    TGuard streamGuard(stream.Lock());

    const auto& bytes = picture.Bytes();
    std::vector<uint8_t> code;
    if (FCompressed) code = SplayEncode(bytes);
    const int64_t bodySize = FCompressed ? 4 + static_cast<int64_t>(code.size()) : static_cast<int64_t>(bytes.size());

    const int32_t pageNumber = FNumPages + 1;
    FWindowLength = 0;
    if (pageNumber == 1) {
        FNumPages = pageNumber; // the first header already carries a count of 1
        try {
            WriteHeader();
        } catch (...) {
            FNumPages = 0;
            throw;
        }
    }
    const int64_t start = stream.Seek(0, soEnd);
    const int64_t end = start + RecordOverhead + bodySize;
    if (end > MaxFileSize) {
        if (pageNumber == 1) FNumPages = 0;
        throw EQRError("The report is too large for a QRP file");
    }
    // The record is written in one pass with its next-record offset already known; the bytes are the
    // same as writing a placeholder and patching it afterwards.
    uint8_t head[12];
    PutI32(head, pageNumber);
    PutI32(head + 4, static_cast<int32_t>(end));
    uint8_t tail[4];
    PutI32(tail, static_cast<int32_t>(start));
    try {
        if (FCompressed) {
            PutI32(head + 8, static_cast<int32_t>(bytes.size()));
            stream.WriteBuffer(head, 12);
            stream.WriteBuffer(code.data(), code.size());
        } else {
            stream.WriteBuffer(head, 8);
            stream.WriteBuffer(bytes.data(), bytes.size());
        }
        stream.WriteBuffer(tail, 4);
    } catch (...) {
        if (pageNumber == 1) FNumPages = 0;
        throw;
    }
    FNumPages = pageNumber;
    NoteSheet(pageNumber, picture.Header());
    if (static_cast<int64_t>(FIndex.size()) == pageNumber && FIndex.back() == start) {
        FIndex.push_back(static_cast<int32_t>(end));
    } else if (pageNumber == 1) {
        FIndex = {static_cast<int32_t>(start), static_cast<int32_t>(end)};
    }
    FStreamSize = end;
}

std::span<const uint8_t> TQRPageList::View(int64_t offset, size_t count) {
    if (offset < 0 || offset > FStreamSize || static_cast<int64_t>(count) > FStreamSize - offset) return {};
    if (offset >= FWindowStart &&
        offset + static_cast<int64_t>(count) <= FWindowStart + static_cast<int64_t>(FWindowLength)) {
        return {FWindow.data() + (offset - FWindowStart), count};
    }
    TQRStream& stream = *FPageStream;
    if (count <= WindowSize) {
        FWindow.resize(WindowSize);
        stream.SetPosition(offset);
        const auto want = static_cast<size_t>(std::min<int64_t>(WindowSize, FStreamSize - offset));
        FWindowStart = offset;
        FWindowLength = stream.Read(FWindow.data(), want);
        if (FWindowLength < count) return {};
        return {FWindow.data(), count};
    }
    FScratch.resize(count);
    stream.SetPosition(offset);
    if (stream.Read(FScratch.data(), count) != count) return {};
    return {FScratch.data(), count};
}

bool TQRPageList::ReadAt(int64_t offset, size_t count, uint8_t* out) {
    if (offset < 0 || offset > FStreamSize || static_cast<int64_t>(count) > FStreamSize - offset) return false;
    if (count <= WindowSize) {
        const auto v = View(offset, count);
        if (v.size() != count) return false;
        std::memcpy(out, v.data(), count);
        return true;
    }
    FPageStream->SetPosition(offset);
    return FPageStream->Read(out, count) == count;
}

int32_t TQRPageList::ReadI32(int64_t offset, bool& ok) {
    const auto v = View(offset, 4);
    ok = v.size() == 4;
    return ok ? GetI32(v.data()) : 0;
}

bool TQRPageList::CheckRecord(int64_t start, int32_t n, TQRPageRecord& record) {
    if (start < HeaderSize || start + RecordOverhead > FStreamSize) return false;
    const auto head = View(start, 8);
    if (head.size() != 8 || GetI32(head.data()) != n) return false;
    const int64_t next = GetI32(head.data() + 4);
    if (next < start + RecordOverhead || next > FStreamSize) return false;
    bool ok = false;
    if (ReadI32(next - 4, ok) != start || !ok) return false;
    record = {start, next};
    return true;
}

bool TQRPageList::TryLastPage(TQRPageRecord& record) {
    if (FStreamSize < HeaderSize + RecordOverhead) return false;
    bool ok = false;
    const int64_t start = ReadI32(FStreamSize - 4, ok);
    return ok && CheckRecord(start, FNumPages, record) && record.End == FStreamSize;
}

void TQRPageList::BrokenChain(int32_t n, int64_t offset) const {
    const std::string& name = FPageStream->FileName();
    throw EQRError((name.empty() ? std::string("The recorded pages are damaged") : "File " + name + " is damaged") +
                   ": the record of page " + std::to_string(n) + " at offset " + std::to_string(offset) +
                   " is not valid");
}

// Pages already checked are found in the index; others are reached by walking the chain forward from
// the last checked record, checking each step (the record holds the expected page number, its next
// offset moves forward inside the stream, and its RecordStart points back at it) and noting it. The
// last page is reached directly through the stream's last 4 bytes, as a viewer jumps to it.
TQRPageRecord TQRPageList::GoToPage(int32_t n) {
    const auto known = static_cast<int32_t>(FIndex.size() - 1);
    if (n <= known) return {FIndex[n - 1], FIndex[n]};
    TQRPageRecord record;
    if (n == FNumPages && n > known + 1 && TryLastPage(record)) return record;
    // No reserve to n + 1 here: pages read in order reach this one page further each time, and an
    // exact reserve would copy the whole index on every page; push_back grows it geometrically.
    for (int32_t page = known + 1; page <= n; ++page) {
        const int64_t start = FIndex.back();
        if (!CheckRecord(start, page, record)) BrokenChain(page, start);
        FIndex.push_back(static_cast<int32_t>(record.End));
    }
    return record;
}

TQRPageRecord TQRPageList::PageRecord(int32_t n) {
    TGuard guard(FLock);
    if (n < 1 || n > FNumPages || !FPageStream) throw EQRError("Page " + std::to_string(n) + " does not exist");
    TGuard streamGuard(FPageStream->Lock());
    return GoToPage(n);
}

int32_t TQRPageList::ReachablePages(std::string* problem) {
    TGuard guard(FLock);
    if (!FPageStream) return 0;
    TGuard streamGuard(FPageStream->Lock());
    auto known = static_cast<int32_t>(FIndex.size() - 1);
    if (known >= FNumPages) return FNumPages;
    TQRPageRecord record;
    FIndex.reserve(static_cast<size_t>(FNumPages) + 1);
    for (int32_t page = known + 1; page <= FNumPages; ++page) {
        const int64_t start = FIndex.back();
        if (!CheckRecord(start, page, record)) {
            if (problem) {
                try {
                    BrokenChain(page, start);
                } catch (const EQRError& e) {
                    *problem = e.what();
                }
            }
            return page - 1;
        }
        FIndex.push_back(static_cast<int32_t>(record.End));
    }
    return FNumPages;
}

int64_t TQRPageList::TrailingBytes() {
    TGuard guard(FLock);
    if (!FPageStream || static_cast<int32_t>(FIndex.size() - 1) < FNumPages) return 0;
    return FStreamSize - FIndex[static_cast<size_t>(FNumPages)];
}

std::unique_ptr<emf::TEmfPicture> TQRPageList::CheckedPage(int32_t n, std::string& reason, bool* chainBroken) {
    if (chainBroken) *chainBroken = false;
    TDocumentPage page = Page(n, chainBroken);
    reason = page.State == TDocumentPage::dpPending ? "Page " + std::to_string(n) + " does not exist" : page.Problem;
    if (!page.Picture) return nullptr;
    // The only reference: handed over without a copy.
    return std::make_unique<emf::TEmfPicture>(std::move(const_cast<emf::TEmfPicture&>(*page.Picture)));
}

std::unique_ptr<emf::TEmfPicture> TQRPageList::FetchPage(int32_t n) {
    // The body's bytes are copied out under the lock; decoding them needs no lock, so a page that
    // takes long to decode does not hold up the pages and sheets asked for meanwhile.
    std::vector<uint8_t> bytes;
    int32_t length = 0;
    {
        TGuard guard(FLock);
        if (n > FNumPages || n < 1 || !FPageStream) return nullptr;
        TGuard streamGuard(FPageStream->Lock());
        const TQRPageRecord record = GoToPage(n);
        const int64_t bodyStart = record.Start + 8;
        const int64_t bodySize = record.BodySize();
        if (FCompressed) {
            bool ok = false;
            length = ReadI32(bodyStart, ok);
            const int64_t codeSize = bodySize - 4;
            // Every byte takes at least one bit of code, which bounds what a damaged count can claim.
            if (!ok || codeSize < 0 || length < static_cast<int32_t>(emf::EmfMinHeaderSize) || length > codeSize * 8) {
                InvalidPicture();
            }
            bytes.resize(static_cast<size_t>(codeSize));
            if (!ReadAt(bodyStart + 4, bytes.size(), bytes.data())) InvalidPicture();
        } else {
            if (bodySize < static_cast<int64_t>(emf::EmfMinHeaderSize)) InvalidPicture();
            const auto head = View(bodyStart, emf::EmfMinHeaderSize);
            emf::TEmfHeader header;
            // The body is exactly the picture; an nBytes that disagrees with the record marks damage.
            if (head.empty() || !emf::ReadEmfHeader(head, header) || header.Bytes != bodySize) InvalidPicture();
            bytes.resize(header.Bytes);
            if (!ReadAt(bodyStart, bytes.size(), bytes.data())) InvalidPicture();
        }
        FPageStream->SetPosition(record.End);
    }
    if (FCompressed) {
        // Decode the EMF header first, so that the picture's buffer is sized by a checked nBytes.
        TSplayDecoder decoder(bytes);
        uint8_t head[emf::EmfMinHeaderSize];
        decoder.Decode(head, sizeof head);
        emf::TEmfHeader header;
        if (!emf::ReadEmfHeader({head, sizeof head}, header) || header.Bytes != static_cast<uint32_t>(length)) {
            InvalidPicture();
        }
        std::vector<uint8_t> picture(static_cast<size_t>(length));
        std::memcpy(picture.data(), head, sizeof head);
        decoder.Decode(picture.data() + sizeof head, picture.size() - sizeof head);
        bytes = std::move(picture);
    }
    return std::make_unique<emf::TEmfPicture>(std::move(bytes));
}

TDocumentPage TQRPageList::Page(int32_t n) {
    return Page(n, nullptr);
}

TDocumentPage TQRPageList::Page(int32_t n, bool* chainBroken) {
    TDocumentPage page;
    if (n < 1 || n > FNumPages) return page;
    page.State = TDocumentPage::dpDamaged;
    try {
        PageRecord(n);
    } catch (const EQRError& e) {
        page.Problem = e.what();
        if (chainBroken) *chainBroken = true;
        return page;
    }
    std::unique_ptr<emf::TEmfPicture> picture;
    try {
        picture = FetchPage(n);
    } catch (const EQRError& e) {
        page.Problem = e.what();
        return page;
    }
    if (!picture) {
        page.State = TDocumentPage::dpPending;
        return page;
    }
    return CheckedDocumentPage(std::move(picture));
}

std::optional<TPageSheet> TQRPageList::Sheet(int32_t n) {
    TGuard guard(FLock);
    if (n < 1 || n > FNumPages || !FPageStream) return std::nullopt;
    const auto at = static_cast<size_t>(n - 1);
    if (at < FSheets.size() && FSheets[at]) return FSheets[at];
    TGuard streamGuard(FPageStream->Lock());
    TQRPageRecord record;
    try {
        record = GoToPage(n);
    } catch (const EQRError&) {
        return std::nullopt;
    }
    const int64_t bodyStart = record.Start + 8;
    emf::TEmfHeader header;
    if (FCompressed) {
        // The header is the first bytes the code gives; a few kilobytes of code always hold them.
        const int64_t codeSize = record.BodySize() - 4;
        if (codeSize <= 0) return std::nullopt;
        const auto code = View(bodyStart + 4, static_cast<size_t>(std::min<int64_t>(codeSize, 4096)));
        if (code.empty()) return std::nullopt;
        uint8_t head[emf::EmfMinHeaderSize];
        try {
            SplayDecode(code, head, sizeof head);
        } catch (const EQRError&) {
            return std::nullopt;
        }
        if (!emf::ReadEmfHeader({head, sizeof head}, header)) return std::nullopt;
    } else {
        const auto head = View(bodyStart, emf::EmfMinHeaderSize);
        if (head.empty() || !emf::ReadEmfHeader(head, header)) return std::nullopt;
    }
    NoteSheet(n, header);
    return FSheets[at];
}

void TQRPageList::CopyToFile(const std::string& fileName) {
    namespace fs = std::filesystem;
    TGuard guard(FLock);
    const auto cannotCreate = [&] { return EQRError(FormatMessage("Cannot create file %s", fileName)); };
    if (!FPageStream) throw cannotCreate();
    TGuard streamGuard(FPageStream->Lock());

    // Replace what a symbolic link points at, not the link.
    std::error_code ec;
    fs::path target = fs::canonical(fileName, ec);
    if (ec) target = fileName;
    fs::path directory = target.parent_path();
    if (directory.empty()) directory = ".";

    std::string tempName;
    TUniqueFd fd = CreateTempFile(directory.string(), ".QRP", tempName);
    if (!fd.Valid()) throw cannotCreate();
    TFileRemover remover(tempName);

    const mode_t mode = ReplacementMode(target.string());
    const int handle = fd.Get();
    TFileStream out(std::move(fd));
    try {
        FPageStream->CopyAllTo(out);
    } catch (const EQRError&) {
        throw cannotCreate();
    }
    if (::fchmod(handle, mode) != 0 || (SyncOnCommit() && ::fsync(handle) != 0)) throw cannotCreate();
    try {
        out.Close();
    } catch (const EQRError&) {
        throw cannotCreate();
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) throw cannotCreate();
    remover.Keep();
}

} // namespace pagimo::pagestore
