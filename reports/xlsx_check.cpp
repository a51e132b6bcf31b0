#include "reports/xlsx_check.h"

#include <zlib.h>

#include <QFile>
#include <QRegularExpression>
#include <map>

using namespace Qt::StringLiterals;

namespace orvelo::reports {

namespace {

constexpr qint64 kPiece = 64 * 1024;
// The end record of a zip's directory is 22 bytes and a comment of up to 65,535 bytes.
constexpr qint64 kEndRecordSearch = 22 + 65535;

quint32 le16(const QByteArray& bytes, qsizetype at) {
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8;
}

quint32 le32(const QByteArray& bytes, qsizetype at) {
    return le16(bytes, at) | le16(bytes, at + 2) << 16;
}

// Counts a pattern in a text that arrives in pieces: the last bytes of a piece are kept, so a
// pattern split between two pieces is counted once.
class PatternCount {
public:
    explicit PatternCount(QByteArray pattern) : m_pattern(std::move(pattern)) {}

    void add(const QByteArray& piece) {
        const QByteArray text = m_tail + piece;
        for (qsizetype at = text.indexOf(m_pattern); at >= 0; at = text.indexOf(m_pattern, at + 1)) ++m_count;
        m_tail = text.right(m_pattern.size() - 1);
    }
    qint64 count() const { return m_count; }

private:
    QByteArray m_pattern;
    QByteArray m_tail;
    qint64 m_count = 0;
};

struct Entry {
    quint32 method = 0;
    quint32 crc = 0;
    qint64 compressedSize = 0;
    qint64 size = 0;
    qint64 localHeader = 0;
};

// The rows of one sheet's part; nothing when it is damaged or cut off.
std::optional<qint64> sheetRows(QFile& file, const Entry& entry) {
    if (!file.seek(entry.localHeader)) return std::nullopt;
    const QByteArray local = file.read(30);
    if (local.size() != 30 || !local.startsWith("PK\x03\x04")) return std::nullopt;
    if (!file.seek(entry.localHeader + 30 + le16(local, 26) + le16(local, 28))) return std::nullopt;

    PatternCount opened("<row "), closed("</row>");
    QByteArray last;  // the end of the text, for its end tag
    qint64 size = 0;
    uLong crc = crc32(0, nullptr, 0);
    const auto take = [&](const QByteArray& text) {
        opened.add(text);
        closed.add(text);
        last = QByteArray(last + text).right(32);
        size += text.size();
        crc = crc32(crc, reinterpret_cast<const Bytef*>(text.constData()), static_cast<uInt>(text.size()));
    };

    z_stream stream{};
    if (entry.method == 8 && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    bool ended = entry.method == 0;
    QByteArray out(kPiece, '\0');
    for (qint64 left = entry.compressedSize; left > 0;) {
        const QByteArray in = file.read(std::min(left, kPiece));
        if (in.isEmpty()) break;
        left -= in.size();
        if (entry.method == 0) {
            take(in);
            continue;
        }
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        stream.avail_in = static_cast<uInt>(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = static_cast<uInt>(out.size());
            const int result = inflate(&stream, Z_NO_FLUSH);
            if (result == Z_BUF_ERROR) break;  // no progress without more input
            if (result != Z_OK && result != Z_STREAM_END) {
                inflateEnd(&stream);
                return std::nullopt;
            }
            take(out.left(out.size() - stream.avail_out));
            ended = result == Z_STREAM_END;
        } while (!ended && (stream.avail_in > 0 || stream.avail_out == 0));
    }
    if (entry.method == 8) inflateEnd(&stream);
    if (!ended || size != entry.size || crc != entry.crc) return std::nullopt;
    if (!last.trimmed().endsWith("</worksheet>") || opened.count() != closed.count()) return std::nullopt;
    return opened.count();
}

}  // namespace

std::optional<std::vector<qint64>> worksheetRowCounts(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 searched = std::min(file.size(), kEndRecordSearch);
    if (searched < 22 || !file.seek(file.size() - searched)) return std::nullopt;
    const QByteArray tail = file.read(searched);
    const qsizetype end = tail.lastIndexOf("PK\x05\x06");
    if (end < 0 || end + 22 > tail.size()) return std::nullopt;
    const quint32 entries = le16(tail, end + 10);
    const qint64 directorySize = le32(tail, end + 12);
    if (!file.seek(le32(tail, end + 16))) return std::nullopt;
    const QByteArray directory = file.read(directorySize);
    if (directory.size() != directorySize) return std::nullopt;

    static const QRegularExpression sheetPart(u"^xl/worksheets/sheet(\\d+)\\.xml$"_s);
    std::map<int, Entry> sheets;
    qsizetype at = 0;
    for (quint32 i = 0; i < entries; ++i) {
        if (at + 46 > directory.size() || !directory.mid(at, 4).startsWith("PK\x01\x02")) return std::nullopt;
        const qsizetype nameSize = le16(directory, at + 28);
        const QString name = QString::fromUtf8(directory.mid(at + 46, nameSize));
        const QRegularExpressionMatch match = sheetPart.match(name);
        if (match.hasMatch()) {
            const Entry entry{le16(directory, at + 10), le32(directory, at + 16), le32(directory, at + 20),
                              le32(directory, at + 24), le32(directory, at + 42)};
            if (entry.method != 0 && entry.method != 8) return std::nullopt;
            sheets[match.captured(1).toInt()] = entry;
        }
        at += 46 + nameSize + le16(directory, at + 30) + le16(directory, at + 32);
    }
    std::vector<qint64> rows;
    for (const auto& [number, entry] : sheets) {
        const std::optional<qint64> count = sheetRows(file, entry);
        if (!count) return std::nullopt;
        rows.push_back(*count);
    }
    return rows;
}

}  // namespace orvelo::reports
