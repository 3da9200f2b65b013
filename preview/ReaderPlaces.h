#pragma once
// The reader's place in a document, remembered by the file viewer per document: the page, the zoom mode
// and zoom, continuous and facing pages, the turn and the scroll position. A document is known by its
// file's absolute path, size and time of last change, so a file that changed since has no place and
// opens on its first page. The last MaxDocuments documents are kept, the one left last first, in
// places.conf of the settings folder ($XDG_CONFIG_HOME/pagimo).

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace pagimo::preview {

struct TReaderPlace {
    int32_t Page = 1;
    int ZoomMode = 2; // TZoomMode: fit page, fit width, custom
    int32_t Zoom = 100;
    bool Continuous = false;
    bool Facing = false;
    bool FirstAlone = true;
    int Rotation = 0; // quarter turns clockwise
    int ScrollX = 0, ScrollY = 0;
    bool operator==(const TReaderPlace&) const = default;
};

struct TDocumentKey {
    QString Path;
    qint64 Size = -1;
    qint64 Time = 0; // milliseconds since the epoch
    bool operator==(const TDocumentKey&) const = default;
};

// The key of a file as it is on disk now; a missing file gives a key no place is found under.
TDocumentKey DocumentKeyOf(const QString& fileName);

class TReaderPlaces {
public:
    static constexpr int MaxDocuments = 100;
    // fileName: where the places are kept (tests); empty: places.conf in the settings folder.
    explicit TReaderPlaces(QString fileName = QString());

    std::optional<TReaderPlace> Find(const TDocumentKey& key) const;
    // Keeps the place of a document first, in place of what its path held before.
    void Remember(const TDocumentKey& key, const TReaderPlace& place);

private:
    QString FFileName;
};

} // namespace pagimo::preview
