#include "containers/mp4_tag_writer.h"

#include "util/byte_reader.h"
#include "util/file_name.h"
#include "util/safe_file.h"

#include <QFile>
#include <QtEndian>
#include <vector>

namespace vn {

namespace {

// One atom: where it starts, how long it is, where its children start.
struct Atom {
    size_t start = 0;
    uint64_t size = 0;
    size_t headerSize = 8;
    QByteArray type;
    size_t end() const { return start + size_t(size); }
};

// The child atoms of [from, to); false when one runs past its parent.
bool children(QByteArrayView file, size_t from, size_t to, std::vector<Atom>& out)
{
    ByteReader in(file);
    for (size_t at = from; at < to;) {
        if (to - at < 8)
            return false;
        Atom a;
        a.start = at;
        in.seek(at);
        a.size = in.be32();
        a.type = in.take(4).toByteArray();
        if (a.size == 1) {
            a.size = in.be64();
            a.headerSize = 16;
        } else if (a.size == 0) {
            a.size = to - at;
        }
        if (!in.ok() || a.size < a.headerSize || a.size > to - at)
            return false;
        out.push_back(a);
        at += size_t(a.size);
    }
    return true;
}

const Atom* find(const std::vector<Atom>& atoms, const char* type)
{
    for (const Atom& a : atoms) {
        if (a.type == type)
            return &a;
    }
    return nullptr;
}

QByteArray atom(const char* type, const QByteArray& body)
{
    QByteArray out(4, '\0');
    qToBigEndian<uint32_t>(uint32_t(8 + body.size()), out.data());
    return out + type + body;
}

QByteArray freeformItem(const QByteArray& name, const QByteArray& value)
{
    const QByteArray zero4(4, '\0');
    const QByteArray utf8Type("\0\0\0\1", 4);
    return atom("----", atom("mean", zero4 + "com.apple.iTunes") + atom("name", zero4 + name) +
                            atom("data", utf8Type + zero4 + value));
}

// Grows an atom's own size field by delta, in whichever width it is written.
void grow(QByteArray& file, const Atom& a, uint64_t delta)
{
    char* at = file.data() + a.start;
    if (a.headerSize == 16)
        qToBigEndian<uint64_t>(a.size + delta, at + 8);
    else
        qToBigEndian<uint32_t>(uint32_t(a.size + delta), at);
}

// Chunk offsets at or past the insertion move with the bytes they point to.
bool moveChunkOffsets(QByteArray& file, const Atom& moov, size_t insertedAt, uint32_t delta)
{
    std::vector<Atom> tracks;
    if (!children(file, moov.start + moov.headerSize, moov.end(), tracks))
        return false;
    for (const Atom& trak : tracks) {
        if (trak.type != "trak")
            continue;
        const Atom* box = &trak;
        std::vector<Atom> level[3];
        for (int depth = 0; depth < 3 && box; ++depth) {
            if (!children(file, box->start + box->headerSize, box->end(), level[depth]))
                return false;
            box = find(level[depth], depth == 0 ? "mdia" : depth == 1 ? "minf" : "stbl");
        }
        std::vector<Atom> tables;
        if (!box || !children(file, box->start + box->headerSize, box->end(), tables))
            continue;
        for (const Atom& table : tables) {
            const bool wide = table.type == "co64";
            if (!wide && table.type != "stco")
                continue;
            ByteReader in(file);
            in.seek(table.start + table.headerSize + 4);
            const uint32_t count = in.be32();
            const size_t width = wide ? 8 : 4;
            if (!in.has(size_t(count) * width) || in.pos() + size_t(count) * width > table.end())
                return false;
            char* entry = file.data() + in.pos();
            for (uint32_t i = 0; i < count; ++i, entry += width) {
                if (wide) {
                    const uint64_t offset = qFromBigEndian<uint64_t>(entry);
                    if (offset >= insertedAt)
                        qToBigEndian<uint64_t>(offset + delta, entry);
                } else {
                    const uint32_t offset = qFromBigEndian<uint32_t>(entry);
                    if (offset >= insertedAt) {
                        if (uint64_t(offset) + delta > UINT32_MAX)
                            return false;
                        qToBigEndian<uint32_t>(offset + delta, entry);
                    }
                }
            }
        }
    }
    return true;
}

} // namespace

int addMp4FreeformText(const QString& path, const QByteArray& name, const QByteArray& value)
{
    QFile in;
    if (!openForReading(in, path))
        return Mp4TagCannotRead;
    QByteArray file = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return Mp4TagCannotRead;
    in.close();

    std::vector<Atom> top;
    if (!children(file, 0, size_t(file.size()), top) || !find(top, "moov"))
        return Mp4TagNotMp4;
    const Atom moov = *find(top, "moov");

    // Down the tag path as far as it exists; what is missing is made around the new item.
    std::vector<Atom> chain{moov};
    QByteArray insert = freeformItem(name, value);
    const char* const steps[] = {"udta", "meta", "ilst"};
    for (const char* step : steps) {
        const Atom& parent = chain.back();
        // meta is a full atom: four bytes of version and flags come before its children.
        const size_t first = parent.start + parent.headerSize + (parent.type == "meta" ? 4 : 0);
        std::vector<Atom> kids;
        if (!children(file, first, parent.end(), kids))
            return Mp4TagNotMp4;
        const Atom* next = find(kids, step);
        if (next) {
            chain.push_back(*next);
            continue;
        }
        // Wrap the item in the atoms still missing, innermost first.
        const QByteArray handler = atom("hdlr", QByteArray(8, '\0') + "mdirappl" + QByteArray(9, '\0'));
        const QByteArray list = atom("ilst", insert);
        if (qstrcmp(step, "ilst") == 0)
            insert = list;
        else if (qstrcmp(step, "meta") == 0)
            insert = atom("meta", QByteArray(4, '\0') + handler + list);
        else
            insert = atom("udta", atom("meta", QByteArray(4, '\0') + handler + list));
        break;
    }

    const size_t at = chain.back().end();
    const uint32_t delta = uint32_t(insert.size());
    file.insert(qsizetype(at), insert);
    for (const Atom& a : chain)
        grow(file, a, delta);
    Atom grown = moov;
    grown.size += delta;
    if (!moveChunkOffsets(file, grown, at, delta))
        return Mp4TagNotMp4;
    return replaceFileAtomically(path, file) ? Mp4TagWritten : Mp4TagCannotWrite;
}

} // namespace vn
