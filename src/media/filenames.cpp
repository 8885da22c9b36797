#include "media/filenames.h"

#include <QDir>
#include <QUrl>

#include <unistd.h>

#include <climits>

namespace {

constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

bool isEscape(QChar c)
{
    return c.unicode() >= kFirstEscape && c.unicode() <= kLastEscape;
}

// The length of the valid UTF-8 sequence at bytes[at], or 0 when there is none.
qsizetype validSequenceLength(const QByteArray& bytes, qsizetype at)
{
    const auto lead = uchar(bytes[at]);
    const qsizetype length = lead < 0x80 ? 1
        : lead >= 0xC2 && lead <= 0xDF   ? 2
        : lead >= 0xE0 && lead <= 0xEF   ? 3
        : lead >= 0xF0 && lead <= 0xF4   ? 4
                                         : 0;
    if (length == 0 || at + length > bytes.size())
        return 0;
    const QByteArray sequence = bytes.mid(at, length);
    // Qt's decoder knows the overlong forms, the encoded surrogates and what lies past U+10FFFF.
    const QString decoded = QString::fromUtf8(sequence);
    return !decoded.contains(QChar::ReplacementCharacter) && decoded.toUtf8() == sequence ? length
                                                                                          : 0;
}

} // namespace

namespace FileNames {

QString fromBytes(const QByteArray& bytes)
{
    const QString plain = QString::fromUtf8(bytes);
    if (plain.toUtf8() == bytes)
        return plain;
    QString name;
    for (qsizetype at = 0; at < bytes.size();) {
        if (const qsizetype length = validSequenceLength(bytes, at); length > 0) {
            name += QString::fromUtf8(bytes.mid(at, length));
            at += length;
        } else {
            name += QChar(char16_t(kFirstEscape + uchar(bytes[at]) - 0x80));
            ++at;
        }
    }
    return name;
}

QByteArray toBytes(const QString& name)
{
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype at = 0; at <= name.size(); ++at) {
        if (at < name.size() && !isEscape(name[at]))
            continue;
        bytes += QStringView(name).mid(runStart, at - runStart).toUtf8();
        if (at < name.size())
            bytes += char(name[at].unicode() - kFirstEscape + 0x80);
        runStart = at + 1;
    }
    return bytes;
}

QString absolute(const QString& name)
{
    if (QDir::isAbsolutePath(name))
        return QDir::cleanPath(name);
    char folder[PATH_MAX];
    const QString working
        = ::getcwd(folder, sizeof folder) ? fromBytes(folder) : QDir::currentPath();
    return QDir::cleanPath(working + QLatin1Char('/') + name);
}

QString fromUri(const QString& uri)
{
    const QUrl url(uri);
    if (!url.isLocalFile())
        return QString();
    return fromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString toUri(const QString& absoluteName)
{
    return QStringLiteral("file://")
        + QString::fromLatin1(toBytes(absoluteName).toPercentEncoding("/"));
}

} // namespace FileNames
