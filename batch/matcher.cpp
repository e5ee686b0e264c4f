#include "batch/matcher.h"

#include "batch/name_tokens.h"
#include "config/settings.h"
#include "media/folder_scan.h"
#include "util/feedback.h"
#include "util/file_name.h"
#include "util/safe_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <numeric>

#include <dirent.h>
#include <sys/stat.h>

namespace vn {

namespace {

constexpr int64_t OneSecond = 44100;
constexpr int64_t TwoSeconds = 88200;
constexpr uint32_t LeadIn = 150;

QByteArray text(const QString& s)
{
    return s.toUtf8();
}

// The sub-folders of a folder in name order; a folder reached a second time through a link is not
// entered again.
QStringList subfolders(const QString& folder, QSet<QPair<quint64, quint64>>& seen)
{
    QStringList names;
    const QByteArray base = pathBytes(folder);
    DIR* dir = ::opendir(base.constData());
    if (!dir)
        return names;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        struct stat st;
        if (::fstatat(dirFd, entry->d_name, &st, 0) != 0 || !S_ISDIR(st.st_mode))
            continue;
        if (seen.contains({quint64(st.st_dev), quint64(st.st_ino)}))
            continue;
        seen.insert({quint64(st.st_dev), quint64(st.st_ino)});
        names << pathFromBytes(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QStringList paths;
    for (const QString& name : names)
        paths << QDir(folder).filePath(name);
    return paths;
}

struct AFolder {
    QString path;
    size_t first = 0;
    size_t count = 0;
};

// Every folder under root (root first, then each sub-folder before its own sub-folders) that holds
// files with the extension, and those files in listing order.
void collectAFiles(const QString& root, const QString& ext, std::vector<AFolder>& folders, std::vector<QString>& files)
{
    QSet<QPair<quint64, quint64>> seen;
    struct stat st;
    if (::stat(pathBytes(root).constData(), &st) == 0)
        seen.insert({quint64(st.st_dev), quint64(st.st_ino)});
    QStringList stack{root};
    while (!stack.isEmpty()) {
        const QString folder = stack.takeLast();
        const QStringList names = listFolderAudio(folder, QStringList{ext});
        if (!names.isEmpty()) {
            folders.push_back(AFolder{folder, files.size(), size_t(names.size())});
            for (const QString& name : names)
                files.push_back(QDir(folder).filePath(name));
        }
        const QStringList subs = subfolders(folder, seen);
        for (auto it = subs.rbegin(); it != subs.rend(); ++it)
            stack << *it;
    }
}

bool madeByExcludedEncoder(const MatchContext& c, const std::vector<AFileFacts>& files)
{
    if (c.excludedEncoders.empty() || files.empty())
        return false;
    for (const AFileFacts& f : files) {
        bool hit = false;
        for (const QByteArray& name : c.excludedEncoders) {
            hit = hit || (f.encoder.size() >= name.size() &&
                          qstrnicmp(f.encoder.constData(), name.size(), name.constData(), name.size()) == 0);
        }
        if (!hit)
            return false;
    }
    return true;
}

QByteArray aLineStart(size_t fileCount, const QString& folder, const QByteArray& encoder)
{
    QByteArray line = QString::asprintf("A%3u \"", unsigned(fileCount)).toLatin1() + pathBytes(folder) + '"';
    if (!encoder.isEmpty())
        line += " <" + encoder + '>';
    return line;
}

// The block of a run of files sharing one table of contents.
void mcdiBlock(const MatchContext& c, const std::vector<AFileFacts>& files, size_t rb, size_t re, const QString& folder,
               QByteArray& list)
{
    const McdiTable& mcdi = files[rb].mcdi;
    const size_t n = mcdi.trackCount();
    const std::vector<uint32_t>& m = mcdi.addresses;
    std::vector<int64_t> lengths(n);
    for (size_t k = 0; k < n; ++k)
        lengths[k] = (int64_t(m[k + 1]) - int64_t(m[k])) * FramesPerSector;
    const int64_t discTotal = (int64_t(m[n]) - int64_t(m[0])) * FramesPerSector;
    int64_t sum = 0;
    bool disagree = false;
    for (size_t i = rb; i < re; ++i) {
        sum += int64_t(files[i].duration);
        disagree = disagree || files[i].tagTrack != files[i].fileTrack;
    }

    list += aLineStart(re - rb, folder, files[rb].encoder);
    if (mcdi.dataTrack)
        list += " #MCDIdatrk";
    if (disagree)
        list += " #disagreeTRCK";
    list += '\n';

    const size_t nCompared = mcdi.dataTrack ? n - 1 : n;
    int accepted = 0;
    static const std::vector<int> none;
    const std::vector<int>& sameCount = n < c.cuesByTrackCount.size() ? c.cuesByTrackCount[n] : none;
    for (const int ci : sameCount) {
        const MatchCue& cue = c.cues[size_t(ci)];
        const std::vector<uint32_t>& s = cue.sectors;
        int64_t largest = 0;
        bool rejected = false;
        for (size_t k = 0; k <= nCompared && !rejected; ++k) {
            const int64_t d = std::abs(int64_t(s[k]) - int64_t(m[k]));
            largest = std::max(largest, d);
            rejected = k < n ? d > int64_t(c.allowances.mciCueTrack) : d > int64_t(c.allowances.mciCueDisc);
        }
        if (rejected)
            continue;
        // The table counts the gap before a data session into the last audio track; the sheet knows
        // where that track ends, and so what the album's total must be.
        std::vector<int64_t> l = lengths;
        int64_t total = discTotal;
        if (mcdi.dataTrack) {
            l[n - 1] = (int64_t(s[n]) - int64_t(s[n - 1])) * FramesPerSector;
            total = std::accumulate(l.begin(), l.end(), int64_t(0));
        }
        const bool totalsAgree = std::abs(sum - total) < int64_t(c.allowances.durMciDisc);

        list += QString::asprintf("M%3u \"", unsigned(n)).toLatin1() + pathBytes(cue.entry.cuePath) + '"';
        if (largest > 0)
            list += QString::asprintf(" #dtoc=%u", unsigned(largest)).toLatin1();
        if (cue.entry.dataTrack)
            list += " #CUEdatrk";
        if (accepted > 0)
            list += " ##Select ONE";
        list += '\n';
        ++accepted;

        // Each file takes the track of its length nearest its place; what is left is tried as a span
        // of tracks ripped into one file.
        std::vector<int> used(n, 0);
        const size_t count = re - rb;
        std::vector<std::pair<int, int>> span(count, {-1, -1});
        for (size_t p = 0; p < count; ++p) {
            const int64_t duration = int64_t(files[rb + p].duration);
            int best = -1;
            int64_t bestDistance = 0;
            for (size_t k = 0; k < n; ++k) {
                if (std::abs(duration - l[k]) > int64_t(c.allowances.durMciTrack))
                    continue;
                const int64_t distance = std::abs(int64_t(k) - int64_t(p));
                if (best < 0 || distance <= bestDistance) {
                    best = int(k);
                    bestDistance = distance;
                }
            }
            if (best >= 0) {
                span[p] = {best, best};
                ++used[size_t(best)];
            }
        }
        for (size_t p = 0; p < count; ++p) {
            if (span[p].first >= 0)
                continue;
            const int64_t duration = int64_t(files[rb + p].duration);
            int first = -1, last = -1;
            int64_t spanTotal = 0;
            for (size_t k = 0; k < n; ++k) {
                if (used[k] > 0)
                    continue;
                if (first < 0) {
                    if (l[k] > duration + OneSecond)
                        continue;
                    first = int(k);
                }
                last = int(k);
                spanTotal += l[k];
                if (spanTotal + OneSecond > duration)
                    break;
            }
            if (first < 0)
                continue;
            span[p] = {first, last};
            for (int k = first; k <= last; ++k)
                ++used[size_t(k)];
        }

        list += 'T';
        bool fileWithout = false;
        for (size_t p = 0; p < count; ++p) {
            list += ' ' + QByteArray::number(files[rb + p].fileTrack) + ':';
            if (span[p].first < 0) {
                list += '?';
                fileWithout = true;
                continue;
            }
            list += QByteArray::number(span[p].first + 1);
            if (span[p].second > span[p].first)
                list += '-' + QByteArray::number(span[p].second + 1);
        }
        const bool usedOnce = std::all_of(used.begin(), used.end(), [](int u) { return u == 1; });
        if (!totalsAgree)
            list += " #partial";
        if (totalsAgree && count < n)
            list += " #merge";
        if (totalsAgree && !usedOnce)
            list += " ###Error";
        if (fileWithout)
            list += " ###ErrorImgTrk";
        list += '\n';
    }
    if (accepted == 0)
        list += "###CUE NOT FOUND\n";
    list += '\n';
}

// The block of a folder without a usable table of contents: candidates by words and total length.
void nameBlock(const MatchContext& c, const std::vector<AFileFacts>& files, const QString& folder, QByteArray& list)
{
    const AFileFacts& first = files.front();
    QStringList words;
    appendNameTokens(first.artist, words);
    appendNameTokens(first.albumArtist, words);
    appendNameTokens(first.album, words);
    appendNameTokens(QFileInfo(QFileInfo(first.path).path()).fileName(), words);
    std::vector<int> ids;
    for (const QString& w : words) {
        if (const int id = c.words.find(w); id >= 0)
            ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    int64_t sum = 0;
    for (const AFileFacts& f : files)
        sum += int64_t(f.duration);
    list += aLineStart(files.size(), folder, first.encoder) +
            QString::asprintf(" %.3f ###No MCDI\n", double(sum) / double(OneSecond)).toLatin1();

    std::vector<int> score(c.cues.size(), 0);
    int best = 0;
    for (size_t i = 0; i < c.cues.size(); ++i) {
        const std::vector<int>& t = c.cues[i].tokens;
        for (const int id : ids)
            score[i] += std::binary_search(t.begin(), t.end(), id) ? 1 : 0;
        best = std::max(best, score[i]);
    }

    struct Candidate {
        size_t cue;
        char kind;
    };
    std::vector<Candidate> found;
    auto bestScored = [&](char kind) {
        if (best <= 0)
            return;
        for (size_t i = 0; i < c.cues.size(); ++i) {
            if (score[i] == best)
                found.push_back({i, kind});
        }
    };
    if (sum < c.lowerTotal) {
        for (size_t i = 0; i < c.cues.size(); ++i) {
            if (score[i] * 2 >= int(c.cues[i].tokens.size()))
                found.push_back({i, 's'});
        }
    } else if (sum > c.upperTotal) {
        bestScored('W');
    } else {
        for (size_t i = 0; i < c.cues.size(); ++i) {
            if (std::abs(int64_t(c.cues[i].entry.totalSamples) - sum) < int64_t(c.allowances.durCueDisc) && score[i] >= 1)
                found.push_back({i, '*'});
        }
        if (found.empty())
            bestScored('?');
    }
    if (found.size() > 1) {
        std::stable_sort(found.begin(), found.end(),
                         [&](const Candidate& a, const Candidate& b) { return score[a.cue] > score[b.cue]; });
    }
    for (const Candidate& f : found) {
        const MatchCue& cue = c.cues[f.cue];
        const char kind = score[f.cue] == 0 ? '?' : f.kind;
        list += QString::asprintf("%c%3d \"", kind, int(cue.entry.trackCount)).toLatin1() +
                pathBytes(cue.entry.cuePath) +
                QString::asprintf("\" %.3f\n", double(cue.entry.totalSamples) / double(OneSecond)).toLatin1();
    }
    if (found.empty())
        list += "###NO CUE candidates\n";
    list += '\n';
}

void logFile(const AFileFacts& f, QByteArray& log)
{
    log += '"' + pathBytes(f.path) + "\" " + QByteArray::number(f.mcdi.trackCount(), 16).toUpper();
    for (const uint32_t v : f.mcdi.addresses)
        log += '+' + QByteArray::number(qulonglong(v) + LeadIn, 16).toUpper();
    log += " '" + text(f.artist) + "' '" + text(f.albumArtist) + "' '" + text(f.album) + "' '" +
           QByteArray::number(f.tagTrack) + "' '" + f.encoder + "' " + QByteArray::number(f.mcdi.dataTrack ? 1 : 0) +
           '\n';
}

void logCue(int index, const MatchCue& cue, QByteArray& log)
{
    log += QByteArray::number(index) + " '" + pathBytes(cue.entry.cuePath) + "' " +
           QByteArray::number(cue.entry.trackCount, 16).toUpper();
    for (const uint32_t v : cue.sectors)
        log += '+' + QByteArray::number(qulonglong(v) + LeadIn, 16).toUpper();
    log += '\n';
}

// Text mode on the disk: every line ends with a carriage return and a line feed.
QByteArray withCrLf(const QByteArray& lines)
{
    QByteArray out = lines;
    out.replace("\n", "\r\n");
    return out;
}

bool writeOutputs(const Settings& s, const QByteArray& list, const QByteArray& log)
{
    bool ok = !s.CueMatch_FileLst.isEmpty() && replaceFileAtomically(s.CueMatch_FileLst, withCrLf(list));
    if (!s.CueMatch_FileLog.isEmpty())
        ok = replaceFileAtomically(s.CueMatch_FileLog, withCrLf(log)) && ok;
    return ok;
}

} // namespace

int TokenTable::add(const QString& token)
{
    const auto it = ids_.constFind(token);
    if (it != ids_.constEnd())
        return *it;
    const int id = int(ids_.size());
    ids_.insert(token, id);
    return id;
}

int TokenTable::find(const QString& token) const
{
    return ids_.value(token, -1);
}

MatchAllowances allowancesOf(const Settings& s)
{
    return MatchAllowances{s.CueMatch_MciCueT, s.CueMatch_MciCueA, s.CueMatch_DurMciT, s.CueMatch_DurMciA,
                           s.CueMatch_DurCueA};
}

void prepareCues(MatchContext& c, const std::vector<CueImageEntry>& entries, const std::vector<uint32_t>& sectors)
{
    c.cues.clear();
    c.cuesByTrackCount.assign(CueMatchTrackLimit + 1, {});
    int64_t shortest = INT64_MAX, longest = 0;
    for (const CueImageEntry& e : entries) {
        MatchCue cue;
        cue.entry = e;
        const size_t from = std::min<size_t>(e.firstIndex, sectors.size());
        const size_t to = std::min<size_t>(from + e.trackCount + 1, sectors.size());
        cue.sectors.assign(sectors.begin() + qsizetype(from), sectors.begin() + qsizetype(to));
        if (cue.sectors.size() != size_t(e.trackCount) + 1)
            continue;
        QString stem = e.imagePath;
        const qsizetype slash = stem.lastIndexOf(u'/');
        const qsizetype dot = stem.lastIndexOf(u'.');
        if (dot > slash)
            stem.truncate(dot);
        QStringList words;
        appendNameTokens(stem, words);
        for (const QString& w : words)
            cue.tokens.push_back(c.words.add(w));
        std::sort(cue.tokens.begin(), cue.tokens.end());
        cue.tokens.erase(std::unique(cue.tokens.begin(), cue.tokens.end()), cue.tokens.end());
        shortest = std::min<int64_t>(shortest, e.totalSamples);
        longest = std::max<int64_t>(longest, e.totalSamples);
        if (e.trackCount < c.cuesByTrackCount.size())
            c.cuesByTrackCount[e.trackCount].push_back(int(c.cues.size()));
        c.cues.push_back(std::move(cue));
    }
    c.lowerTotal = c.cues.empty() ? 0 : shortest - TwoSeconds;
    c.upperTotal = c.cues.empty() ? 0 : longest + TwoSeconds;
}

int matchFolder(const MatchContext& c, const std::vector<AFileFacts>& files, QByteArray& list)
{
    if (files.empty() || madeByExcludedEncoder(c, files))
        return 0;
    const QString folder = QFileInfo(files.front().path).path();
    int blocks = 0;
    size_t runStart = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].mcdi.trackCount() == 0) {
            // Runs finished before this file keep their blocks; the folder as a whole is matched by
            // its words and its length.
            nameBlock(c, files, folder, list);
            return blocks + 1;
        }
        if (i > runStart && files[i].mcdi != files[runStart].mcdi) {
            mcdiBlock(c, files, runStart, i, folder, list);
            ++blocks;
            runStart = i;
        }
    }
    mcdiBlock(c, files, runStart, files.size(), folder, list);
    return blocks + 1;
}

int generateMatchList(const Settings& s, Feedback& feedback, MatchStats* stats)
{
    MatchStats local;
    MatchStats& st = stats ? *stats : local;
    st = MatchStats{};
    const QString ext = s.CueMatch_Extension.isEmpty() ? QStringLiteral(".mp3") : s.CueMatch_Extension;
    QByteArray list, log;

    MatchContext c;
    c.allowances = allowancesOf(s);
    for (const QByteArray& name : s.CueMatch_ExceptEnc.split(';')) {
        if (!name.isEmpty())
            c.excludedEncoders.push_back(name);
    }

    feedback.setStatus(2, QStringLiteral("Counting MP3 Files ..."));
    std::vector<AFolder> folders;
    std::vector<QString> paths;
    if (!s.CueMatch_FldrMp3.isEmpty())
        collectAFiles(QDir(s.CueMatch_FldrMp3).absolutePath(), ext, folders, paths);
    for (const AFolder& folder : folders)
        log += QByteArray::number(qulonglong(folder.first)) + ' ' + pathBytes(folder.path) + '\n';
    st.aFiles = int(paths.size());
    st.aFolders = int(folders.size());
    feedback.setStatus(2, QString::asprintf(" %d\n", st.aFiles));
    if (paths.empty()) {
        feedback.setStatus(2, QStringLiteral("No MP3 files.\n"));
        return writeOutputs(s, {}, log) ? MatchNothingToMatch : MatchCannotWrite;
    }

    // The files are read side by side; the window hears of them between batches.
    feedback.setStatus(2, QStringLiteral("Making MP3 List ..."));
    std::vector<AFileFacts> facts(paths.size());
    constexpr size_t Batch = 256;
    for (size_t from = 0; from < paths.size(); from += Batch) {
        std::vector<size_t> indexes(std::min(Batch, paths.size() - from));
        std::iota(indexes.begin(), indexes.end(), from);
        QtConcurrent::blockingMap(indexes, [&](size_t i) { facts[i] = readAFileFacts(paths[i]); });
        const size_t done = from + indexes.size();
        feedback.setStatus(4, QString::asprintf("%8u/%u", unsigned(done), unsigned(paths.size())));
        feedback.pumpMessages();
        if (feedback.abortRequested())
            return MatchAborted;
    }
    for (const AFolder& folder : folders) {
        log += "---------\n";
        for (size_t i = folder.first; i < folder.first + folder.count; ++i)
            logFile(facts[i], log);
    }
    feedback.setStatus(2, QStringLiteral(" Done\n"));

    feedback.setStatus(2, QStringLiteral("Making CUE List ..."));
    std::vector<CueImageEntry> entries;
    std::vector<uint32_t> sectors;
    for (const QString& folder : s.CueMatch_FldrCue.split(u';')) {
        if (folder.isEmpty())
            continue;
        findCueSheets(QDir(folder).absolutePath(), entries, sectors);
        feedback.pumpMessages();
    }
    st.cueSheets = int(entries.size());
    if (entries.empty()) {
        feedback.setStatus(2, QStringLiteral("No CUE sheet files.\n"));
        return writeOutputs(s, {}, log) ? MatchNothingToMatch : MatchCannotWrite;
    }
    feedback.setStatus(2, QStringLiteral(" Done\n"));

    feedback.setStatus(2, QStringLiteral("Extracting tokens ..."));
    prepareCues(c, entries, sectors);
    log += "================================\n";
    for (size_t i = 0; i < c.cues.size(); ++i)
        logCue(int(i + 1), c.cues[i], log);
    feedback.setStatus(2, QStringLiteral(" Done\n"));

    feedback.setStatus(2, QStringLiteral("Seaching matched CUE ..."));
    for (const AFolder& folder : folders) {
        feedback.pumpMessages();
        if (feedback.abortRequested())
            return MatchAborted;
        const std::vector<AFileFacts> files(facts.begin() + qsizetype(folder.first),
                                            facts.begin() + qsizetype(folder.first + folder.count));
        const int blocks = matchFolder(c, files, list);
        st.blocks += blocks;
        st.excludedFolders += blocks == 0 ? 1 : 0;
    }
    if (!writeOutputs(s, list, log))
        return MatchCannotWrite;
    feedback.setStatus(2, QStringLiteral(" Done\n"));
    return MatchOk;
}

} // namespace vn
