#include "ZipFiles.h"

#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <zip.h>

namespace ZipFiles {

namespace {

zip_t* open(const QString& path, int flags)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), flags, &error);
    if (!archive)
        throw std::runtime_error("cannot open zip " + path.toStdString());
    return archive;
}

QByteArray entry(zip_t* archive, zip_int64_t index, zip_flags_t flags)
{
    zip_stat_t stat;
    zip_stat_index(archive, zip_uint64_t(index), 0, &stat);
    zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(index), flags);
    if (!file)
        throw std::runtime_error("cannot read zip entry");
    QByteArray bytes;
    char buffer[65536];
    zip_int64_t n = 0;
    while ((n = zip_fread(file, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, qsizetype(n));
    zip_fclose(file);
    return bytes;
}

} // namespace

void write(const QString& path, const Parts& parts, const QStringList& stored)
{
    QFile::remove(path);
    zip_t* archive = open(path, ZIP_CREATE | ZIP_TRUNCATE);
    for (const auto& [name, bytes] : parts) {
        void* copy = malloc(size_t(std::max<qsizetype>(1, bytes.size())));
        memcpy(copy, bytes.constData(), size_t(bytes.size()));
        zip_source_t* source = zip_source_buffer(archive, copy, zip_uint64_t(bytes.size()), 1);
        const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 stored.contains(name) ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
        zip_file_set_mtime(archive, zip_uint64_t(index), 315532800 + 86400 * 400, 0);
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("cannot write zip " + path.toStdString());
}

QStringList names(const QString& path)
{
    zip_t* archive = open(path, ZIP_RDONLY);
    QStringList found;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        found << QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0));
    zip_discard(archive);
    return found;
}

QMap<QString, QByteArray> read(const QString& path)
{
    zip_t* archive = open(path, ZIP_RDONLY);
    QMap<QString, QByteArray> parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        parts.insert(QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0)), entry(archive, i, 0));
    zip_discard(archive);
    return parts;
}

QByteArray raw(const QString& path, const QString& name, int* method)
{
    zip_t* archive = open(path, ZIP_RDONLY);
    const zip_int64_t index = zip_name_locate(archive, name.toUtf8().constData(), 0);
    QByteArray bytes;
    if (index >= 0) {
        bytes = entry(archive, index, ZIP_FL_COMPRESSED);
        zip_stat_t stat;
        zip_stat_index(archive, zip_uint64_t(index), 0, &stat);
        if (method)
            *method = stat.comp_method;
    }
    zip_discard(archive);
    return bytes;
}

} // namespace ZipFiles
