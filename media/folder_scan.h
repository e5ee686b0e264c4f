#pragma once
// The folder scan of a side: the audio files of a folder by extension priority, and one side's
// files as Replace Tags and Move Files need them (the tags without the audio).

#include "media/id3v2_reader.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace vn {

// One side's files, in list order.
struct FileList {
    std::vector<QString> names;
    std::vector<FileTags> files;
    int count() const { return int(names.size()); }
};

// The audio files of a folder with the first extension of the priority list that has any, in name
// order without regard to case.
QStringList listFolderAudio(const QString& folder, const QStringList& extPriorityList);

// The names of listFolderAudio and each MP3's tag, without the audio and its analysis. Returns 0,
// 1 when the folder does not exist, 2 when it holds no audio file. A file without a readable ID3v2
// tag keeps KindUnreadable.
int loadSideTags(const QString& folder, const QStringList& extPriorityList, FileList& side);

// The kind kept for a file that could not be read: no ID3v2 version, so never taken for one.
inline constexpr uint8_t KindUnreadable = 0xff;

} // namespace vn
