#pragma once
// TQRPageList: the recorded pages of a report, kept in a page stream laid out byte for byte as a QRP
// file, so that saving is a copy of the stream and opening a file is opening a stream on it.
//
// QRP layout (little-endian): a 128-byte header (format words 3 and 350, page count at 8, time stamp
// at 16 as a day count, compression flag at 25), then one record per page: page number, offset of
// the next record, body, and the offset of the record's own start. A body is the EMF bytes, or when
// splay-coded a 32-bit byte count followed by the code.

#include "pagestore/PageDocument.h"
#include "pagestore/Stream.h"
#include "platform/emf/EmfPicture.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pagimo::pagestore {

// The header fields as stored.
struct TQRFileHeader {
    uint16_t FormatWord1 = 3;
    uint16_t FormatWord2 = 350;
    int32_t PageCount = 0;
    double TimeStamp = 0; // local date and time, days since 30 December 1899
    uint8_t CompressionFlag = 0;
};

// Where a page's record lies in the stream.
struct TQRPageRecord {
    int64_t Start = 0; // offset of the record
    int64_t End = 0;   // offset of the next record (the end of this one)
    int64_t BodySize() const { return End - Start - 12; }
};

// As a page document it gives the stored pages (all that a loaded file declares), each checked as
// drawing needs it; a fetch holds the lock only while it reads, so pages decode on several threads.
class TQRPageList : public TPageDocument {
public:
    TQRPageList();
    ~TQRPageList() override;
    TQRPageList(const TQRPageList&) = delete;
    TQRPageList& operator=(const TQRPageList&) = delete;

    // Appends the page as the next record; splay-codes it when Compressed.
    void StorePage(const emf::TEmfPicture& picture);
    // A new picture of page n, or none when n is greater than NumPages. Raises
    // EQRError("Metafile is not valid") for a damaged body and an error naming the file for a broken
    // record chain.
    std::unique_ptr<emf::TEmfPicture> FetchPage(int32_t n);
    // Rewrites the header with the final page count and a new time stamp.
    void CloseRecording();
    // Forgets the pages; the stream is not touched.
    void ResetPages();
    // Opens the QRP file as the page stream (read-only) and reads its header; Compressed follows the
    // header's compression flag. Raises "Cannot open file %s", or an error naming the file when the
    // header is incomplete or its page count cannot be right; the page list then holds no stream.
    void OpenFile(const std::string& fileName);
    // Saves the stream as fileName: written to a new file beside it and renamed over it when complete,
    // so a failure (raised as "Cannot create file %s") leaves any old file untouched, and a file that
    // is open for viewing keeps its pages.
    void CopyToFile(const std::string& fileName);

    void Acquire() { FLock.lock(); }
    void Release() { FLock.unlock(); }

    bool Compressed() const { return FCompressed; }
    void SetCompressed(bool compressed) { FCompressed = compressed; }
    int32_t NumPages() const { return FNumPages; }
    // The stream is shared with the report printer, which creates a recording's stream and may
    // discard it; whoever drops it last frees it.
    const std::shared_ptr<TQRStream>& PageStream() const { return FPageStream; }
    void SetPageStream(std::shared_ptr<TQRStream> stream);

    // The header as read by OpenFile.
    const TQRFileHeader& Header() const { return FHeader; }
    // The record of page n (1 <= n <= NumPages), found and checked as FetchPage does.
    TQRPageRecord PageRecord(int32_t n);

    // Walks the record chain to its end (the index every later fetch uses) and returns how many
    // pages, from page 1 on, can be reached; when that is fewer than NumPages, problem says why the
    // next one cannot. Never throws for damaged data.
    int32_t ReachablePages(std::string* problem = nullptr);
    // Bytes after the last record, once ReachablePages has reached every page; 0 otherwise.
    int64_t TrailingBytes();

    // Page n as drawing it needs it: its record reached, its body decoded and its metafile records
    // walkable to the end. Returns the picture; a page that cannot be drawn gives none and the reason
    // (chainBroken set when the record itself cannot be reached, so later pages cannot be either).
    std::unique_ptr<emf::TEmfPicture> CheckedPage(int32_t n, std::string& reason, bool* chainBroken = nullptr);

    // The page document: NumPages pages; a page past those stored so far is pending.
    int32_t PageCount() override { return FNumPages; }
    TDocumentPage Page(int32_t n) override;
    std::optional<TPageSheet> Sheet(int32_t n) override;

private:
    void WriteHeader();
    void ReadHeader();
    TQRPageRecord GoToPage(int32_t n);
    bool CheckRecord(int64_t start, int32_t n, TQRPageRecord& record);
    bool TryLastPage(TQRPageRecord& record);
    [[noreturn]] void BrokenChain(int32_t n, int64_t offset) const;
    void ForgetLayout();
    TDocumentPage Page(int32_t n, bool* chainBroken);
    // Bytes [offset, offset + count) of the stream, through the window buffer when they fit in it;
    // an empty span when the stream ends before.
    std::span<const uint8_t> View(int64_t offset, size_t count);
    int32_t ReadI32(int64_t offset, bool& ok);
    // Copies bytes [offset, offset + count) to out; false when the stream ends before.
    bool ReadAt(int64_t offset, size_t count, uint8_t* out);

    std::recursive_mutex FLock;
    bool FCompressed = false;
    std::atomic<int32_t> FNumPages = 0;
    std::shared_ptr<TQRStream> FPageStream;
    TQRFileHeader FHeader;

    // Start offsets of the records checked so far: FIndex[i] is the start of page i + 1, and the last
    // entry the end of the last page checked. Recording fills it as it appends; reading builds it
    // lazily on the first walk, so random access costs one lookup.
    std::vector<int32_t> FIndex;
    // The sheets read so far, by page (none: not read yet, or unreadable).
    std::vector<std::optional<TPageSheet>> FSheets;
    void NoteSheet(int32_t n, const emf::TEmfHeader& header);
    int64_t FStreamSize = 0;

    // One read fills the window with a few records of small pages, so browsing page by page and walking
    // the chain cost about one read per window; bodies larger than it are read straight to their place.
    static constexpr size_t WindowSize = 16384;
    std::vector<uint8_t> FWindow;
    int64_t FWindowStart = 0;
    size_t FWindowLength = 0;
    std::vector<uint8_t> FScratch;
};

} // namespace pagimo::pagestore
