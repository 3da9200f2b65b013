#include "preview/ReaderPlaces.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <vector>

namespace pagimo::preview {

namespace {

struct TEntry {
    TDocumentKey Key;
    TReaderPlace Place;
};

std::vector<TEntry> ReadAll(QSettings& settings) {
    std::vector<TEntry> entries;
    const int count = settings.beginReadArray(QStringLiteral("places"));
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        const auto value = [&settings](const char* name) { return settings.value(QLatin1String(name)); };
        TEntry e;
        e.Key = {value("path").toString(), value("size").toLongLong(), value("time").toLongLong()};
        e.Place.Page = value("page").toInt();
        e.Place.ZoomMode = value("zoomMode").toInt();
        e.Place.Zoom = value("zoom").toInt();
        e.Place.Continuous = value("continuous").toBool();
        e.Place.Facing = value("facing").toBool();
        e.Place.FirstAlone = value("firstAlone").toBool();
        e.Place.Rotation = value("rotation").toInt();
        e.Place.ScrollX = value("scrollX").toInt();
        e.Place.ScrollY = value("scrollY").toInt();
        if (!e.Key.Path.isEmpty()) entries.push_back(e);
    }
    settings.endArray();
    return entries;
}

void WriteAll(QSettings& settings, const std::vector<TEntry>& entries) {
    settings.remove(QStringLiteral("places"));
    settings.beginWriteArray(QStringLiteral("places"), static_cast<int>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        settings.setArrayIndex(static_cast<int>(i));
        const TEntry& e = entries[i];
        const auto set = [&settings](const char* name, const QVariant& v) {
            settings.setValue(QLatin1String(name), v);
        };
        set("path", e.Key.Path);
        set("size", e.Key.Size);
        set("time", e.Key.Time);
        set("page", e.Place.Page);
        set("zoomMode", e.Place.ZoomMode);
        set("zoom", e.Place.Zoom);
        set("continuous", e.Place.Continuous);
        set("facing", e.Place.Facing);
        set("firstAlone", e.Place.FirstAlone);
        set("rotation", e.Place.Rotation);
        set("scrollX", e.Place.ScrollX);
        set("scrollY", e.Place.ScrollY);
    }
    settings.endArray();
}

} // namespace

TDocumentKey DocumentKeyOf(const QString& fileName) {
    QFileInfo info(fileName);
    info.setCaching(false);
    if (!info.isFile()) return {info.absoluteFilePath(), -1, 0};
    return {info.absoluteFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

TReaderPlaces::TReaderPlaces(QString fileName) : FFileName(std::move(fileName)) {
    if (FFileName.isEmpty())
        FFileName = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                    QStringLiteral("/pagimo/places.conf");
}

std::optional<TReaderPlace> TReaderPlaces::Find(const TDocumentKey& key) const {
    if (key.Size < 0) return std::nullopt;
    QSettings settings(FFileName, QSettings::IniFormat);
    for (const TEntry& e : ReadAll(settings))
        if (e.Key == key) return e.Place;
    return std::nullopt;
}

void TReaderPlaces::Remember(const TDocumentKey& key, const TReaderPlace& place) {
    if (key.Size < 0) return;
    QSettings settings(FFileName, QSettings::IniFormat);
    std::vector<TEntry> entries = ReadAll(settings);
    std::erase_if(entries, [&key](const TEntry& e) { return e.Key.Path == key.Path; });
    entries.insert(entries.begin(), TEntry{key, place});
    if (entries.size() > MaxDocuments) entries.resize(MaxDocuments);
    WriteAll(settings, entries);
}

} // namespace pagimo::preview
